// The result list: one row per item the tool touches, with its status word.
#pragma once

#include "base/removal_status.h"

// Creates the two columns (item, status). Called once, on the first activation.
void SetupResultColumns();

// Appends a row at RunState.rowIndex with `text` (up to 1023 characters) and the status text,
// raises RunState.errorSeen for error rows, brings the row into view, repaints, pauses 100 ms and
// answers the messages sent to the window meanwhile.
void AddResultRow(const char* text, RemovalStatus status);
