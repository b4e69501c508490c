#include "platform/Shell.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include <future>
#include <mutex>

namespace orvane::platform {

namespace {

const QString kHtmlType = QStringLiteral("text/html");
const QString kDesktopEntryGroup = QStringLiteral("Desktop Entry");

// The groups of a desktop entry or mimeapps.list file: group -> key -> raw value.
using KeyFile = QHash<QString, QHash<QString, QString>>;

KeyFile readKeyFile(const QString &path)
{
    KeyFile groups;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return groups;
    QString group;
    // Desktop files are small; a hostile huge one is cut off rather than read whole.
    const QByteArray bytes = file.read(1 << 20);
    for (const QByteArray &rawLine : bytes.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            group = line.mid(1, line.size() - 2);
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0 || group.isEmpty())
            continue;
        const QString key = line.left(eq).trimmed();
        if (!groups[group].contains(key))
            groups[group].insert(key, line.mid(eq + 1).trimmed());
    }
    return groups;
}

QStringList pathList(const char *variable, const QString &fallback)
{
    QString value = qEnvironmentVariable(variable);
    if (value.isEmpty())
        value = fallback;
    QStringList list;
    for (const QString &entry : value.split(u':', Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(entry))
            list.append(QDir::cleanPath(entry));
    }
    return list;
}

QString homeDir(const char *variable, const QString &relative)
{
    const QString value = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(value) ? QDir::cleanPath(value) : QDir::homePath() + u'/' + relative;
}

QStringList configDirs()
{
    return QStringList {homeDir("XDG_CONFIG_HOME", QStringLiteral(".config"))}
    + pathList("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
}

QStringList applicationDirs()
{
    QStringList dirs;
    const QStringList data = QStringList {homeDir("XDG_DATA_HOME", QStringLiteral(".local/share"))}
        + pathList("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
    for (const QString &dir : data)
        dirs.append(dir + QStringLiteral("/applications"));
    return dirs;
}

// mimeapps.list files from the most to the least important.
QStringList mimeAppsFiles()
{
    QStringList names;
    for (const QString &desktop : qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts))
        names.append(desktop.toLower() + QStringLiteral("-mimeapps.list"));
    names.append(QStringLiteral("mimeapps.list"));
    QStringList files;
    for (const QStringList &dirs : {configDirs(), applicationDirs()}) {
        for (const QString &dir : dirs) {
            for (const QString &name : names)
                files.append(dir + u'/' + name);
        }
    }
    return files;
}

QStringList desktopIds(const QString &value)
{
    QStringList ids;
    for (const QString &id : value.split(u';', Qt::SkipEmptyParts)) {
        const QString trimmed = id.trimmed();
        if (trimmed.endsWith(QStringLiteral(".desktop")) && !trimmed.contains(QStringLiteral("..")))
            ids.append(trimmed);
    }
    return ids;
}

// The file of a desktop file ID: "vendor-app.desktop" may also live as vendor/app.desktop.
QString desktopFilePath(const QString &id)
{
    for (const QString &dir : applicationDirs()) {
        const QString direct = dir + u'/' + id;
        if (QFileInfo(direct).isFile())
            return direct;
        const qsizetype dash = id.indexOf(u'-');
        if (dash > 0) {
            QString nested = id;
            nested[dash] = u'/';
            if (QFileInfo(dir + u'/' + nested).isFile())
                return dir + u'/' + nested;
        }
    }
    return QString();
}

// The desktop entry string escapes (\s, \n, \t, \r, \\); the Exec quoting comes after.
QString unescapeValue(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != u'\\' || i + 1 == value.size()) {
            out.append(c);
            continue;
        }
        const QChar n = value[++i];
        switch (n.unicode()) {
        case 's': out.append(u' '); break;
        case 'n': out.append(u'\n'); break;
        case 't': out.append(u'\t'); break;
        case 'r': out.append(u'\r'); break;
        case '\\': out.append(u'\\'); break;
        default: out.append(u'\\'); out.append(n);
        }
    }
    return out;
}

std::optional<ShellCommand> commandFromEntry(const QString &path)
{
    const KeyFile file = readKeyFile(path);
    const auto entry = file.constFind(kDesktopEntryGroup);
    if (entry == file.constEnd())
        return std::nullopt;
    const QHash<QString, QString> &keys = *entry;
    if (keys.value(QStringLiteral("Hidden")) == QLatin1String("true"))
        return std::nullopt;
    const QString type = keys.value(QStringLiteral("Type"), QStringLiteral("Application"));
    if (type != QLatin1String("Application"))
        return std::nullopt;
    const QString tryExec = unescapeValue(keys.value(QStringLiteral("TryExec")));
    if (!tryExec.isEmpty() && QStandardPaths::findExecutable(tryExec).isEmpty() && !QFileInfo(tryExec).isExecutable())
        return std::nullopt;
    std::optional<ShellCommand> command = parseExecLine(unescapeValue(keys.value(QStringLiteral("Exec"))));
    if (!command)
        return std::nullopt;
    if (!QDir::isAbsolutePath(command->program)) {
        const QString found = QStandardPaths::findExecutable(command->program);
        if (found.isEmpty())
            return std::nullopt;
        command->program = found;
    } else if (!QFileInfo(command->program).isExecutable()) {
        return std::nullopt;
    }
    return command;
}

std::optional<ShellCommand> firstInstalled(const QStringList &ids)
{
    for (const QString &id : ids) {
        const QString path = desktopFilePath(id);
        if (path.isEmpty())
            continue;
        if (std::optional<ShellCommand> command = commandFromEntry(path))
            return command;
    }
    return std::nullopt;
}

// Asks xdg-mime, where it is installed, for desktops that keep their own defaults.
std::optional<ShellCommand> askXdgMime()
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (tool.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(tool, {QStringLiteral("query"), QStringLiteral("default"), kHtmlType});
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(500);
        return std::nullopt;
    }
    return firstInstalled(desktopIds(QString::fromUtf8(process.readAllStandardOutput()).trimmed()));
}

class DesktopShell final : public Shell
{
public:
    std::optional<ShellCommand> findHtmlHandler() override
    {
        const QStringList lists = mimeAppsFiles();
        for (const QString &group : {QStringLiteral("Default Applications"), QStringLiteral("Added Associations")}) {
            for (const QString &list : lists) {
                const KeyFile file = readKeyFile(list);
                if (auto command = firstInstalled(desktopIds(file.value(group).value(kHtmlType))))
                    return command;
            }
        }
        for (const QString &dir : applicationDirs()) {
            for (const auto &[fileName, group] :
                {std::pair {QStringLiteral("defaults.list"), QStringLiteral("Default Applications")},
                    std::pair {QStringLiteral("mimeinfo.cache"), QStringLiteral("MIME Cache")}}) {
                const KeyFile file = readKeyFile(dir + u'/' + fileName);
                if (auto command = firstInstalled(desktopIds(file.value(group).value(kHtmlType))))
                    return command;
            }
        }
        return askXdgMime();
    }

    bool startDetached(const QString &program, const QStringList &arguments) override
    {
        return QProcess::startDetached(program, arguments);
    }

    void prepare() override
    {
        std::lock_guard lock(m_mutex);
        startLookup();
    }

    void openInBrowser(const QString &address) override
    {
        std::optional<ShellCommand> handler;
        {
            std::lock_guard lock(m_mutex);
            if (!m_known) {
                m_waiting.append(address);
                startLookup();
                return;
            }
            handler = m_handler;
        }
        if (handler)
            startDetached(handler->program, argumentsFor(*handler, address));
    }

    ~DesktopShell() override
    {
        if (m_lookup.valid())
            m_lookup.wait();
    }

private:
    // Under m_mutex. The desktop files rarely change while a program runs;
    // the answer is kept for the life of the process.
    void startLookup()
    {
        if (m_known || m_lookup.valid())
            return;
        m_lookup = std::async(std::launch::async, [this] {
            const std::optional<ShellCommand> handler = findHtmlHandler();
            QStringList waiting;
            {
                std::lock_guard lock(m_mutex);
                m_handler = handler;
                m_known = true;
                waiting.swap(m_waiting);
            }
            for (const QString &address : std::as_const(waiting)) {
                if (handler)
                    startDetached(handler->program, argumentsFor(*handler, address));
            }
        });
    }

    std::mutex m_mutex;
    std::future<void> m_lookup;
    bool m_known = false;
    std::optional<ShellCommand> m_handler;
    QStringList m_waiting;
};

} // namespace

Shell &Shell::real()
{
    static DesktopShell shell;
    return shell;
}

void Shell::openInBrowser(const QString &address)
{
    if (const std::optional<ShellCommand> handler = findHtmlHandler())
        startDetached(handler->program, argumentsFor(*handler, address));
}

std::optional<QString> browserAddress(const QString &url)
{
    const QString address = url.trimmed();
    if (address.isEmpty() || address.startsWith(u'-'))
        return std::nullopt;
    for (const QChar c : address) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return std::nullopt;
    }
    // "name:" starts a scheme unless digits (a port) follow the colon.
    static const QRegularExpression schemed(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):(?!\\d+(?:[/?#]|$))"));
    const QRegularExpressionMatch match = schemed.match(address);
    if (match.hasMatch()) {
        const QString scheme = match.captured(1).toLower();
        if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("ftp"))
            return address;
        return std::nullopt;
    }
    // Without a scheme only a host name (with a dot), localhost or an IP
    // address may begin it: paths and bare names stay on this machine.
    if (address.startsWith(u'/') || address.startsWith(u'\\') || address.startsWith(u'.') || address.startsWith(u'~'))
        return std::nullopt;
    const QString web = QStringLiteral("http://") + address;
    const QUrl parsed(web, QUrl::StrictMode);
    const QString host = parsed.host();
    if (!parsed.isValid() || host.isEmpty() || address.contains(u'\\'))
        return std::nullopt;
    const bool named = host.contains(u'.') || host == QLatin1String("localhost");
    if (!named && QHostAddress(host).isNull())
        return std::nullopt;
    return web;
}

std::optional<ShellCommand> parseExecLine(const QString &exec)
{
    QStringList words;
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted) {
            if (c == u'\\' && i + 1 < exec.size()) {
                word.append(exec[++i]);
            } else if (c == u'"') {
                quoted = false;
            } else {
                word.append(c);
            }
            continue;
        }
        if (c == u'"') {
            quoted = true;
            inWord = true;
        } else if (c == u' ' || c == u'\t') {
            if (inWord)
                words.append(word);
            word.clear();
            inWord = false;
        } else {
            word.append(c);
            inWord = true;
        }
    }
    if (quoted)
        return std::nullopt;
    if (inWord)
        words.append(word);
    if (words.isEmpty() || words.first().isEmpty() || words.first().contains(u'%'))
        return std::nullopt;
    ShellCommand command;
    command.program = words.takeFirst();
    command.arguments = words;
    return command;
}

QStringList argumentsFor(const ShellCommand &command, const QString &address)
{
    QStringList arguments;
    bool placed = false;
    for (const QString &argument : command.arguments) {
        // A field code standing alone is replaced by a whole argument or dropped.
        if (argument.size() == 2 && argument[0] == u'%') {
            switch (argument[1].unicode()) {
            case 'f':
            case 'F':
            case 'u':
            case 'U':
                if (!placed)
                    arguments.append(address);
                placed = true;
                continue;
            case '%': arguments.append(QStringLiteral("%")); continue;
            default: continue; // %i, %c, %k and the deprecated codes
            }
        }
        QString expanded;
        for (qsizetype i = 0; i < argument.size(); ++i) {
            if (argument[i] == u'%' && i + 1 < argument.size()) {
                const char16_t code = argument[++i].unicode();
                if (code == u'%') {
                    expanded.append(u'%');
                } else if (!placed && (code == u'f' || code == u'F' || code == u'u' || code == u'U')) {
                    expanded.append(address);
                    placed = true;
                }
                continue;
            }
            expanded.append(argument[i]);
        }
        arguments.append(expanded);
    }
    if (!placed)
        arguments.append(address);
    return arguments;
}

} // namespace orvane::platform
