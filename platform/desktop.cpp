#include "platform/desktop.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTimer>

namespace platform {

QString Desktop::findExecutable(const QString &name)
{
    return QStandardPaths::findExecutable(name);
}

ProgramRun Desktop::run(const QString &program, const QStringList &arguments, int watchMs)
{
    ProgramRun result;
    // What the program writes goes to a file, not a pipe: a program left
    // running must not be stopped by a pipe that closes when Letterloom ends.
    QTemporaryFile output(QDir::temp().filePath(QStringLiteral("letterloom-run-XXXXXX.txt")));
    if (!output.open()) {
        result.errorText = QCoreApplication::translate("platform::Desktop", "\"%1\" could not be started: %2")
                               .arg(program, output.errorString());
        return result;
    }
    // Not deleted while the program runs: a QProcess that is destroyed ends
    // its program. It deletes itself when the program ends, and a program
    // still running when Letterloom ends keeps running.
    auto *process = new QProcess;
    process->setProgram(program);
    process->setArguments(arguments);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(output.fileName(), QIODevice::Append);
    process->setStandardErrorFile(output.fileName(), QIODevice::Append);
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);

    QEventLoop loop;
    bool failedToStart = false;
    QObject::connect(process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            failedToStart = true;
            loop.quit();
        }
    });
    QTimer::singleShot(watchMs, &loop, &QEventLoop::quit);
    process->start();
    if (!failedToStart && process->state() != QProcess::NotRunning)
        loop.exec();

    if (failedToStart) {
        result.errorText = QCoreApplication::translate("platform::Desktop", "\"%1\" could not be started: %2")
                               .arg(program, process->errorString());
        process->deleteLater();
        return result;
    }
    const QByteArray written = output.readAll();
    result.errorText = QString::fromLocal8Bit(written.right(2000)).trimmed();
    if (process->state() == QProcess::NotRunning) {
        result.state = ProgramRun::State::Exited;
        result.exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    } else {
        result.state = ProgramRun::State::Running;
    }
    return result;
}

bool Desktop::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

Desktop &systemDesktop()
{
    static Desktop desktop;
    return desktop;
}


} // namespace platform
