#include "exchange/OVAdvertiser.h"

#include "exchange/TrimSpaces.h"

namespace orvane {

void OVAdvertiser::setName(const QString &value)
{
    m_name = trimSpaces(value);
}

} // namespace orvane
