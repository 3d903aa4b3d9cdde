#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace platform {
class FolderLock;
}

namespace store {

// A change of the data folder that touches several files at once (a
// template's line and its body file, a deleted version kept in "Deleted"),
// made so that at any instant, a crash included, every template is wholly
// as before or wholly as after it:
// 1. Every new content is first written in full beside its place, under a
//    name of the change's own (".letterloom-change-<id>-<n>.tmp"). Nothing
//    has changed yet.
// 2. The change's steps (renames, removals, one append) are written into the
//    folder's intent record "Letterloom.intent", which takes its place in
//    one rename. From here on the change is made.
// 3. The steps are carried out, each so that carrying it out again changes
//    nothing, and the intent record is removed.
// A copy of Letterloom that takes the folder's lock and finds an intent
// record (its writer ended in step 3) carries out the steps again; files of
// step 1 with no intent record are removed.
//
// The record is input like any file of a shared folder: before anything of
// it runs, every path in it must name one of the folder's own files (the
// data file, a body file, a file of a change, a kept version in "Deleted"),
// and its steps must keep the rule below. A record that fails is set aside
// unrun; one of a newer version is left for that version to finish.
class Change
{
public:
    explicit Change(QString dir);
    ~Change(); // removes what was written for a change that was not made
    Change(const Change &) = delete;
    Change &operator=(const Change &) = delete;

    // Step 1: writes bytes into a new file of the change's own, and returns
    // its path; empty on failure, and error names the cause.
    QString write(QByteArrayView bytes, QString *error);

    // The steps, in order; paths lie in the folder or in its "Deleted". A
    // step's source is never the target of a later step, and a removed path
    // is never made again by a later step: commit refuses a change that
    // breaks that rule, since carrying it out again after a crash would not
    // give the same folder.
    void rename(const QString &from, const QString &to, bool toIsNew = false);
    void remove(const QString &path);
    // The bytes of a file written by write() put at offset, the size of the
    // file at path now (it is created when missing and offset is 0).
    void append(const QString &path, qint64 offset, const QString &written);

    // Steps 2 and 3. The lock must still be this copy's when the change is
    // recorded. When anything fails before that, nothing has changed.
    // When a step fails after it, the change is taken back where its steps
    // allow that (an append, renames onto names that were free), and
    // otherwise stays recorded for the next copy that takes the lock to
    // finish; pending then tells so. error names the cause either way. A
    // change whose steps were all carried out is done, even when its record
    // could not be removed (carrying it out again changes nothing).
    bool commit(const platform::FolderLock &lock, QString *error, bool *pending = nullptr);

    static QString intentFileName() { return QStringLiteral("Letterloom.intent"); }
    // Whether dir holds an intent record (a change not finished yet).
    static bool isPending(const QString &dir);

    // A recorded change as a copy finds it, read and checked, nothing run.
    struct Step
    {
        enum class Kind { Rename, Remove, Append } kind;
        QString path, other; // rename: from, to; append: path, written
        qint64 offset = 0;
        bool toIsNew = false;
    };
    struct Recorded
    {
        enum class State {
            None,     // no record
            Runnable, // version 1, every check passed: steps
            Newer,    // written by a newer version: left for it
            Refused,  // fails a check: reason
            Unreadable, // cannot be read now (the share, the disk): reason
        } state = State::None;
        int version = 0;
        QString reason;
        QList<Step> steps; // paths absolute
    };
    static Recorded read(const QString &dir);

    // Finishes a recorded change that its copy did not finish, and, when
    // there was one or sweep is set (a copy ended while it held the lock),
    // removes what changes that were never recorded left behind. The caller
    // holds the folder's lock. A record that fails its checks, or whose
    // steps cannot all be carried out (after those carried out are taken
    // back where they can be), is set aside as
    // "Letterloom.intent.refused-<time>", and notice tells the user so
    // once. False, and why, when a recorded change cannot be finished yet:
    // one of a newer version, or a record that cannot be set aside.
    static bool recover(const QString &dir, bool sweep, QString *error, QString *notice = nullptr);

    // For tests that stop the program at each step in turn: runs at each
    // named step of every change ("written", "recorded", "step 1", ...,
    // "done").
    static void setStepHook(std::function<void(const char *step)> hook);

private:
    QString m_dir;
    QString m_id;
    int m_written = 0;
    QStringList m_files; // written in step 1, not yet part of the folder
    QList<Step> m_steps;
};

} // namespace store
