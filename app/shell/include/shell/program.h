#pragma once
// The whole program's wiring, shared by its start and by the tests that drive it as a
// person would. Built as kv_program, above every window library.
#include <string>

namespace shell {

// Sets the title of the boxes, registers the pages of every step and the card control's
// class from `programFolder`, and joins the windows that call each other.
void setUpProgram(const std::string& programFolder);

}  // namespace shell
