// Tables for the descriptors: CloneCD, Alcohol and DiscJuggler.
#include <gtest/gtest.h>
