#pragma once
// Bookkeeping of the day patterns on gdbWork: step counts, the free special-day pattern,
// a special pattern with the same steps, and copies of a pattern and of its steps.

// Number of tblDayStep rows of the pattern.
int gfniGetStepCount(int iPatternNo);

// Brings the derived flags up to date, then the lowest special-day pattern (9..20) that has
// no steps and is not used; 0 when every one is taken.
int gfniGetFreePattern();

// 0 when the pattern has no steps; otherwise the lowest other pattern numbered iFrom or more
// with the same steps (count, and hour, minute and channel in time order); -1 when none is.
int gfniFindSamePattern(int iPatternNo, int iFrom);

// Copies pattern iFrom onto iTo: refuses with message 103, 107 or 116; asks question 4 when
// iTo has steps. Special-day targets get the name "<standard name>のコピー". The scratch
// pattern 21 copies as an empty pattern. True when copied; the row and its steps change
// together or not at all.
bool mfnfCopyPatternData(int iFrom, int iTo);

// Replaces the steps of iTo by a copy of iFrom's, through the scratch table tblWork, in one
// transaction: a failure leaves iTo's steps as they were and reaches the caller. True.
bool gsbCopyStepData(int iFrom, int iTo);
