#pragma once
// Help access of the windows: contents, keyword index and the topic of a context number
// of the program's help file, always owned by the main window.
#include <string>

class QWidget;

// The owner of every help window (the main window); it registers itself when it loads.
void setHelpOwner(QWidget* owner);
QWidget* helpOwner();

// The program's help file. Unless set, it is "RDX.chm" in the program folder in brand
// mode, else "QPN_RDX.chm".
void setAppHelpFile(std::string path);
std::string appHelpFile();

// The four thin calls over the help system.
void gsbHtmlHelpContext(QWidget* owner, long lContextId);
void gsbHtmlHelpContents(QWidget* owner);
void gsbHtmlHelpKeyWord(QWidget* owner, const std::string& sKeyWord);
// Closes every help window; the main window calls it once as it unloads.
void gsbHtmlHelpClose();

// What the windows call.
void gsbHelpContents();
void gsbHelpIndex();
void gsbHelpContext(long lContextId);

// Context numbers of the windows' help topics.
enum : long {
    kHelpStartScreen = 10,
    kHelpWeekdayPattern = 20,
    kHelpPatternCopy = 30,
    kHelpHolidayPattern = 40,
    kHelpHolidayEditor = 50,
    kHelpCalendar = 60,
    kHelpSpecialPattern = 70,
    kHelpSpecialListView = 80,
    kHelpSpecialListAdd = 90,
    kHelpSpecialListDelete = 100,
    kHelpCardWrite = 110,
    kHelpDataCheck = 120,
    kHelpCardRead = 130,
    kHelpMessageTab0 = 140,
    kHelpMessageTab1 = 150,
    kHelpMessageTab2 = 160,
    kHelpCardAction = 170,
    kHelpPrint = 180,
};
