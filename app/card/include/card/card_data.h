#pragma once
// The card image and the open document (gdbWork): the snapshot of its tables, the builder
// of CardData.crd, the parser of a card's dump into a new document, and the write
// selection kept in tblCardWrite.
#include <array>
#include <functional>
#include <initializer_list>
#include <string>

#include "card/image.h"
#include "dao/database.h"

namespace card {

// Progress of a build or a parse, as the card window's progress window shows it.
using Progress = std::function<void(int value)>;

// The rows the image is built from, read from `db` in their tables' orders.
DocumentSnapshot loadSnapshot(dao::Database& db);

// The ten years of day bytes from 1 January of `firstYear`, resolved from gdbWork.
// `perYear` is called after each year.
CardCalendar loadCardCalendar(int firstYear, const std::function<void()>& perYear = {});

// Builds the card image of gdbWork at sFileName for the parts `record` selects. False
// when it failed; the file then still carries the placeholder and no control takes it.
// `failure` receives a text for the user when the document does not fit the card.
bool mfnfMakeCardData(const std::string& sFileName, const WriteModeRecord& record, const Progress& progress,
                      std::string* failure = nullptr);

// Fills the new document in gdbWork from the card's dump at sFileName. False when it
// failed; the caller then discards the document.
bool mfnfReadCardData(const std::string& sFileName, const Progress& progress);

// ---- The write selection ----

// The 29-byte record from tblCardWrite.
void msbGetWriteMode(WriteModeRecord& record);

// Sets the write mode of the blocks (clearing their fldWriteData) where it differs. True
// when a row changed; the document is then marked changed.
bool setWriteMode(std::initializer_list<int> blocks, int mode);

// The rules the write page applies as it opens: outside service mode the settings are
// never written, and the schedule is selected when nothing chose otherwise; the pattern
// names follow the schedule.
void applyWritePageRules(bool serviceMode);

// Every channel name copied into the write list (fldComment of blocks 1-12).
void copyChannelNamesToWriteList();

// For the write page's schedule summary: whether the weekday patterns (1-7), the
// holiday pattern (8) and the special-day patterns (9-20) have steps.
std::array<bool, 3> scheduleSummary();

}  // namespace card
