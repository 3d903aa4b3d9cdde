// The Debian package as cpack makes it from this build: where its files go,
// and that its dependencies name the package of every library the program
// links, as dpkg itself knows them.
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

// What a program printed, or a failure that names it.
QString output(const QString &program, const QStringList &arguments, const QString &folder = QString())
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    if (!process.waitForFinished(240000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        qWarning("%s %s failed: %s", qPrintable(program), qPrintable(arguments.join(u' ')),
                 process.readAllStandardError().constData());
        return QStringLiteral("<failed>");
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class TestPackage : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_deb;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        output("cpack", {"-G", "DEB", "--config", QStringLiteral(BUILD_DIR "/CPackConfig.cmake"), "-B", m_dir.path()},
               QStringLiteral(BUILD_DIR));
        const QStringList debs = QDir(m_dir.path()).entryList({"letterloom_*.deb"});
        QCOMPARE(debs, QStringList({"letterloom_" LETTERLOOM_VERSION "_amd64.deb"}));
        m_deb = m_dir.filePath(debs.first());
    }

    // The program where the shell finds it, the desktop's entry, icons and
    // the help page where the desktop and the program look for them; nothing
    // else, and nothing outside /usr.
    void filesInTheirPlaces()
    {
        QStringList files;
        for (const QString &line : output("dpkg-deb", {"--contents", m_deb}).split(u'\n', Qt::SkipEmptyParts)) {
            if (!line.startsWith(u'd'))
                files << line.section(u' ', -1);
        }
        files.sort();
        QCOMPARE(files, QStringList({"./usr/bin/letterloom", "./usr/share/applications/letterloom.desktop",
                                     "./usr/share/icons/hicolor/16x16/apps/letterloom.png",
                                     "./usr/share/icons/hicolor/32x32/apps/letterloom.png",
                                     "./usr/share/icons/hicolor/scalable/apps/letterloom.svg",
                                     "./usr/share/letterloom/help.html"}));
        QCOMPARE(output("dpkg-deb", {"--field", m_deb, "Package", "Version", "Architecture"}),
                 "Package: letterloom\nVersion: " LETTERLOOM_VERSION "\nArchitecture: amd64\n");
    }

    // Every library the packed program needs comes from a package that the
    // package depends on, and it depends on nothing else.
    void dependsOnThePackagesOfItsLibraries()
    {
        const QString root = m_dir.filePath("root");
        output("dpkg-deb", {"--extract", m_deb, root});
        const QString program = root + "/usr/bin/letterloom";
        QSet<QString> needed;
        static const QRegularExpression neededLine(R"(\(NEEDED\).*\[(.+)\])");
        auto it = neededLine.globalMatch(output("readelf", {"--dynamic", program}));
        while (it.hasNext())
            needed << it.next().captured(1);
        QVERIFY(needed.contains("libQt6Widgets.so.6"));
        QVERIFY(needed.contains("libgio-2.0.so.0"));

        // The files the loader picks, and the packages dpkg says hold them.
        QSet<QString> packages;
        QSet<QString> found;
        static const QRegularExpression resolved(R"(^\s*(\S+) => (\S+) )");
        for (const QString &line : output("ldd", {program}).split(u'\n')) {
            const QRegularExpressionMatch m = resolved.match(line);
            if (!m.hasMatch() || !needed.contains(m.captured(1)))
                continue;
            // dpkg knows a file by the path its package gave it, which on a
            // merged /usr may be the loader's or the real one.
            QString owner;
            for (const QString &path : {m.captured(2), QFileInfo(m.captured(2)).canonicalFilePath()}) {
                QProcess search;
                search.start("dpkg", {"--search", path});
                search.waitForFinished();
                if (search.exitCode() == 0) {
                    owner = QString::fromUtf8(search.readAllStandardOutput());
                    break;
                }
            }
            QVERIFY2(!owner.isEmpty(), qPrintable(m.captured(2)));
            packages << owner.section(u':', 0, 0);
            found << m.captured(1);
        }
        QCOMPARE(found, needed);

        QSet<QString> depends;
        const QString field = output("dpkg-deb", {"--field", m_deb, "Depends"}).trimmed();
        for (const QString &dependency : field.split(u','))
            depends << dependency.trimmed().section(u' ', 0, 0);
        QCOMPARE(depends, packages);
    }

    // The packed program is stripped and runs.
    void programRuns()
    {
        const QString program = m_dir.filePath("root/usr/bin/letterloom");
        QVERIFY(!output("file", {program}).contains("not stripped") || !QFile::exists("/usr/bin/file"));
        QCOMPARE(output(program, {"--version"}), "Letterloom " LETTERLOOM_VERSION "\n");
    }
};

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package_unix.moc"
