#include "platform/process.h"

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

void setInstalledProgram(const QString &name, const QString &path)
{
    replacements().insert(name, path);
}

void clearInstalledPrograms()
{
    replacements().clear();
}

} // namespace platform
