#include "platform/process.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>

namespace platform {
namespace {

QHash<QString, QString> &replacements()
{
    static QHash<QString, QString> programs;
    return programs;
}

// The lines of one [group] of a desktop-entry style file.
QStringList groupLines(const QString &path, QLatin1String group)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines;
    bool inGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'['))
            inGroup = line == u'[' + group + u']';
        else if (inGroup && !line.isEmpty() && !line.startsWith(u'#'))
            lines << line;
    }
    return lines;
}

QString valueOf(const QStringList &lines, const QString &key)
{
    for (const QString &line : lines) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0 && QStringView(line).left(eq).trimmed() == key)
            return line.mid(eq + 1).trimmed();
    }
    return QString();
}

// An Exec value split into arguments: double quotes group, a backslash
// escapes the next character, "%%" is a percent sign and the other field
// codes are left out.
QStringList execArguments(const QString &exec)
{
    QStringList arguments;
    QString current;
    bool inQuotes = false, started = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (inQuotes && c == u'\\' && i + 1 < exec.size()) {
            current += exec.at(++i);
        } else if (c == u'"') {
            inQuotes = !inQuotes;
            started = true;
        } else if (c == u' ' && !inQuotes) {
            if (started)
                arguments << current;
            current.clear();
            started = false;
        } else if (c == u'%' && !inQuotes && i + 1 < exec.size()) {
            if (exec.at(++i) == u'%')
                current += u'%';
            started = started || exec.at(i) == u'%';
        } else {
            current += c;
            started = true;
        }
    }
    if (started)
        arguments << current;
    return arguments;
}

} // namespace

bool startDetachedProgram(const QString &program, const QStringList &arguments, QString *error)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (process.startDetached())
        return true;
    if (error)
        *error = QStringLiteral("\"%1\" could not be started: %2").arg(program, process.errorString());
    return false;
}

QString findInstalledProgram(const QString &name)
{
    const auto replaced = replacements().constFind(name);
    if (replaced != replacements().constEnd())
        return *replaced;
    return QStandardPaths::findExecutable(name);
}

QStringList defaultApplicationCommand(const QString &mimeType, QString *desktopId)
{
    // The user's choice first, then the system's: the order in which the
    // desktop reads its mimeapps.list files.
    QStringList lists;
    for (const QString &dir : QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation))
        lists << dir + QStringLiteral("/mimeapps.list");
    for (const QString &dir : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation))
        lists << dir + QStringLiteral("/mimeapps.list");
    for (const QString &list : lists) {
        const QString ids = valueOf(groupLines(list, QLatin1String("Default Applications")), mimeType);
        for (const QString &id : ids.split(u';', Qt::SkipEmptyParts)) {
            const QString entry = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, id);
            const QStringList command =
                execArguments(valueOf(groupLines(entry, QLatin1String("Desktop Entry")), QStringLiteral("Exec")));
            if (command.isEmpty())
                continue;
            if (desktopId)
                *desktopId = id;
            return command;
        }
    }
    return {};
}

void setInstalledProgram(const QString &name, const QString &path)
{
    replacements().insert(name, path);
}

void clearInstalledPrograms()
{
    replacements().clear();
}

} // namespace platform
