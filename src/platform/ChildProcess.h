#pragma once
// Runs a helper program (Ghostscript, our PDF drawer) on untrusted input as a child
// process whose cost is bounded: it is killed past its time, past its output size and,
// when asked, past a resident memory size watched from here.

#include <QByteArray>
#include <QString>
#include <string>
#include <vector>

struct ChildLimits {
    int seconds = 20;              // wall clock; killed after
    qint64 maxOutput = 0;          // bytes on standard output; killed when it writes more
    qint64 maxResidentBytes = 0;   // killed when its resident memory grows past this; 0: not watched
    qint64 maxErrorBytes = 0;      // standard error kept (the rest is read and dropped); 0: /dev/null
};

struct ChildOutcome {
    enum class End {
        Exited,        // ended by itself: see exitCode
        Signalled,     // killed by a signal not ours: see signal
        NotStarted,    // see startError
        TimedOut,      // we killed it after `seconds`
        TooMuchOutput, // we killed it after `maxOutput` bytes
        TooMuchMemory, // we killed it past `maxResidentBytes`
    };
    End end = End::NotStarted;
    int exitCode = -1;
    int signal = 0;
    QString startError;
    QByteArray output; // kept only when it exited with status 0
    QByteArray errors; // the first `maxErrorBytes` of standard error
    qint64 peakResidentBytes = 0; // the largest resident size seen while watching

    bool succeeded() const { return end == End::Exited && exitCode == 0; }
};

// Runs `arguments` (arguments[0] is looked up on PATH unless it holds a '/') in
// `workingFolder` (unchanged when empty), with standard input from /dev/null.
ChildOutcome runChild(const std::vector<std::string> &arguments, const std::vector<std::string> &environment,
                      const QString &workingFolder, const ChildLimits &limits);

// Our environment with the temporary folder pointed at `folder`.
std::vector<std::string> environmentWithTemporaryFolder(const QString &folder);
