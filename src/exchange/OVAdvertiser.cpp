#include "exchange/OVAdvertiser.h"

#include "support/TrimSpaces.h"

namespace orvane {

void OVAdvertiser::setName(const QString &value)
{
    m_name = trimSpaces(value);
}

} // namespace orvane
