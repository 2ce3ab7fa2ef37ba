#pragma once
// quillpane-convert: the conversion engine from the command line, for scripts and
// benchmarks. Each picture is converted as the window's batch save would convert it.

#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <optional>

class Picture;

struct ConvertCommand {
    QString outputFolder;
    QStringList files;
    std::optional<float> width, height;
    qint64 fileFormat = 0;
    qint64 fillColour = 0;
    qint64 maxBytes = 0; // the file-size budget of every output; 0: none
    QVariantMap settings; // the base settings without the size entries
    bool formats = false;
    int jobs = 0;
};

QString convertUsage();

// Reads the arguments (without the program name); settings not given take the stored
// preferences and adjustment defaults. Nothing on error, with `error` saying why;
// `help` is set (and nothing returned) for --help.
std::optional<ConvertCommand> parseConvertArguments(const QStringList &arguments, QString &error, bool &help);

// The output size for a picture of the given size in points: a missing side follows the
// picture's proportions with the window's rounding (halves away from zero).
QSizeF outputSizeFor(const ConvertCommand &command, QSizeF pictureSize);

// Converts every file; messages go to standard error. 0 when every picture was written.
int runConvertCommand(const ConvertCommand &command);
