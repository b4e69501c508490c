#pragma once

/// @file
/// Kept for hosts written against 1.0: the entry points are in <orvane/orvane.h>,
/// the C++ loader in <orvane/ComponentLibrary.h>.
#include <orvane/ComponentLibrary.h>
