// How a fixed table is handed to a plan: the array and its length, counted by the compiler, so
// that an entry added to a list is never left out of its count.
#pragma once

// clang-format off
#define TABLE(t) {t, static_cast<int>(sizeof t / sizeof t[0])}
// clang-format on
