#pragma once
// What a person sees of a window: every visible control inside the visible area of its
// window and inside its own parent, no label lying on top of a control that takes input,
// and lists whose columns and fixed rows show whole.
#include <QWidget>

#include <string>
#include <vector>

namespace fittest {

// The faults of the visible controls under root, each as one line naming the control.
// visible is the part of the screen (global coordinates) where root can be seen.
std::vector<std::string> fitFaults(QWidget* root, const QRect& visible);

// The same for a window of its own: its visible area is the whole window, and it is wide
// enough for its frame to show its title whole.
std::vector<std::string> fitFaults(QWidget* window);

// root drawn into a PNG file, for a person to look at.
void saveScreenshot(QWidget* root, const std::string& path);
// The same with a window of its own (a message box) drawn where it shows over root.
void saveScreenshot(QWidget* root, QWidget* over, const std::string& path);

}  // namespace fittest
