#pragma once

// The record is published to hosts; the exchange uses the public definition.
#include <orvane/TYPE_INCOMINGAD.h>
