// Tables for the track tables: cue sheets, cdrdao tocs, Nero chunk lists, and the track choice.
#include <gtest/gtest.h>
