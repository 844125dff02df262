#pragma once
// Upkeep of the document's derived flags: whether a day pattern has steps, is used or is in
// error; which pattern each weekday runs; which patterns the holidays run; whether a message
// channel is played; whether any channel records. Each routine recomputes its flags with
// set-based statements on gdbWork, in an order where later statements read what earlier
// ones wrote. Engine errors reach the caller's handler.

// tblDayPattern.fldUse from tblBase, every tblSyukujitu row and tblYear of this year to this
// year + 9. Pattern 0 is never marked used.
void gsbSetPatternUse();

// tblDayPattern.fldStep and fldError, tblBase.fldPattern, then gsbSetSyukujituPattern.
// fldError reads fldUse: run gsbSetPatternUse first when fldError must be current.
void gsbSetPatternError();

// Makes sure the holiday settings row exists (255/255 when it is added) and spreads its
// values over the other rows. Reads fldStep of pattern 8 as gsbSetPatternError leaves it.
void gsbSetSyukujituPattern();

// tblMessage.fldUse from the steps; channels 10, 11 and 12 keep their value.
void gsbSetMessageUse();

// gfAnsRec: some channel 1..9 answers and records.
void gsbCheckAnsRec();

// Compares the holiday list of Regist.dat with Master.dat's on (month, day code) and shows
// message 302 when they differ.
void gsbCheckSyukujitu();
