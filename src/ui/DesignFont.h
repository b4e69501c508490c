#pragma once

#include <QFont>

namespace orvane {

// The windows' designed face, "Comic Sans MS" 8.25 point regular, where the
// system has it; otherwise the platform's general font at the same size.
QFont designFont();

} // namespace orvane
