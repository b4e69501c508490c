#include "platform/MessageBoxes.h"

#include <cstdio>

namespace orvane::platform {

namespace {
class ConsoleMessageBoxes final : public MessageBoxes
{
public:
    void show(const QString &text, const QString &caption) override
    {
        const QString title = caption.isEmpty() ? QStringLiteral("Orvane") : caption;
        std::fprintf(stderr, "[%s] %s\n", qPrintable(title), qPrintable(text));
    }
};

MessageBoxes *g_real = nullptr;
} // namespace

MessageBoxes &MessageBoxes::real()
{
    static ConsoleMessageBoxes console;
    return g_real ? *g_real : console;
}

void MessageBoxes::setReal(MessageBoxes *boxes)
{
    g_real = boxes;
}

} // namespace orvane::platform
