#include "compose/handover.h"

#include "compose/mimedraft.h"
#include "platform/textfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace compose {
namespace {

// The bodies handed over stay until the mail program has read them; those of
// earlier days are removed.
void removeOldBodies(const QString &dir)
{
    const QDateTime dayAgo = QDateTime::currentDateTime().addDays(-1);
    const QFileInfoList files = QDir(dir).entryInfoList({QStringLiteral("body-*.html")}, QDir::Files);
    for (const QFileInfo &file : files) {
        if (file.lastModified() < dayAgo)
            QFile::remove(file.absoluteFilePath());
    }
}

} // namespace

QString freshFileName(const QString &dir, const QString &stem, const QString &suffix)
{
    const QString base = QStringLiteral("%1-%2-%3")
                             .arg(stem, QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")))
                             .arg(QCoreApplication::applicationPid());
    QString path = QDir(dir).filePath(base + suffix);
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QDir(dir).filePath(QStringLiteral("%1-%2%3").arg(base).arg(n).arg(suffix));
    return path;
}

bool ranWell(const platform::ProgramRun &run)
{
    return run.state == platform::ProgramRun::State::Running
           || (run.state == platform::ProgramRun::State::Exited && run.exitCode == 0);
}

QString runFailure(const QString &name, const platform::ProgramRun &run)
{
    if (run.state == platform::ProgramRun::State::NotStarted)
        return QStringLiteral("%1 could not be started (%2).").arg(name, run.errorText);
    QString text = QStringLiteral("%1 ended with an error (exit status %2) instead of showing the message.")
                       .arg(name)
                       .arg(run.exitCode);
    if (!run.errorText.isEmpty())
        text += QStringLiteral(" It said: \"%1\"").arg(run.errorText.right(300));
    return text;
}

QString writeOutgoingBody(const QString &handoverDirectory, const QString &html, const QString &programName,
                          QString *error)
{
    const QString dir = QDir(handoverDirectory).filePath(QStringLiteral("Outgoing"));
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("The HTML body could not be handed to %1: the folder \"%2\" cannot be made.")
                     .arg(programName, QDir::toNativeSeparators(dir));
        return QString();
    }
    removeOldBodies(dir);
    const QString path = freshFileName(dir, QStringLiteral("body"), QStringLiteral(".html"));
    QString why;
    if (!platform::writeWholeFile(path, html.toUtf8(), &why)) {
        *error = QStringLiteral("The HTML body could not be handed to %1. %2").arg(programName, why);
        QFile::remove(path);
        return QString();
    }
    return path;
}

QString writeDraft(const Message &message, const QString &handoverDirectory, const QString &reason, QString *error)
{
    const QString dir = QDir(handoverDirectory).filePath(QStringLiteral("Drafts"));
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("%1 The draft could not be saved: the folder \"%2\" cannot be made.")
                     .arg(reason, QDir::toNativeSeparators(dir));
        return QString();
    }
    const QString path = freshFileName(dir, QStringLiteral("draft"), QStringLiteral(".eml"));
    QString why;
    if (!saveMimeDraft(message, path, &why)) {
        QFile::remove(path);
        *error = reason + QStringLiteral(" The message could not be saved as a draft either. ") + why;
        return QString();
    }
    return path;
}

} // namespace compose
