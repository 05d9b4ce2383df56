#ifndef MAINWINDOWSHOTS_H
#define MAINWINDOWSHOTS_H

class QDir;
class QTextStream;

// The main window's pictures for the operator's walk-through, taken along one
// registration against the emulators: the window with the model list, the
// filled form after the hand-over, the confirmation report and the result
// dialog. Returns the number of pictures that could not be taken.
int mainWindowShots(const QDir &out, QTextStream &err);

#endif // MAINWINDOWSHOTS_H
