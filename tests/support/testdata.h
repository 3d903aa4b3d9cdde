#pragma once

// Files made by other programs, and hostile files, kept under tests/data/
// and loaded from disk. A fixture is a folder there: it is copied whole into
// a fresh temporary folder, and what git cannot hold is made there as its
// file "special" says, one thing a line (paths relative to the copy):
//
//   folder PATH            an empty folder
//   fifo PATH              a named pipe
//   link PATH TARGET       a symbolic link to TARGET (as written)
//   future PATH            the file's time set a day ahead
//   mode OCTAL PATH        the file's permissions
//   size BYTES PATH        a file of that many bytes ("x")
//
// Lines starting with # are comments. The file "special" itself is not
// copied. Where the system cannot make something (a pipe or a link on
// Windows), made() is false and names it.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QStringList>
#include <QString>
#include <QTemporaryDir>

namespace testdata {

// The folder tests/data of the source tree.
QString dataDir();

class Fixture
{
public:
    explicit Fixture(const QString &name);

    bool isValid() const { return m_error.isEmpty(); }
    // Why the fixture could not be made, or what of it is missing.
    QString error() const { return m_error; }

    QString path() const { return m_dir.path(); }
    QString filePath(const QString &relative) const { return m_dir.filePath(relative); }

private:
    QTemporaryDir m_dir;
    QString m_error;
};

// The rows of a data-driven test, from the table tests/data/tables/NAME.tsv:
// its first line names the columns (all QString), every other line is a row,
// named by its first cell. Cells are separated by TABs and may hold the
// escapes \t \r \n \\ \uXXXX and \UXXXXXXXX; "{data}" in a cell is
// tests/data. Empty lines and lines starting with # are left out. A table
// that cannot be read is a fatal error.
void addRows(const QString &table);
// The table's lines as cells, the column names first.
QList<QStringList> table(const QString &name);
QString unescaped(const QString &cell);

// The seed of a test's random choices: LETTERLOOM_SEED when it is set, else
// fallback, so that a run repeats exactly. Printed, so that a failure is
// replayed by running the test again with LETTERLOOM_SEED set to it.
quint64 seed(quint64 fallback);

// Makes a fixture in a folder that exists, as Fixture does in a fresh one;
// what could not be made, empty when all was.
QString makeFixture(const QString &name, const QString &to);

// Every file below dir, by its path relative to dir, with its bytes (links
// by their target, folders by a trailing slash): what a test compares to
// see that nothing changed.
QMap<QString, QByteArray> snapshot(const QString &dir);

} // namespace testdata
