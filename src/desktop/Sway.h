#pragma once

#include <QObject>
#include <QRect>
#include <QString>

#include <qcoro/qcorotask.h>

#include <optional>

// sway places a floating window itself (in the middle of the screen) and
// ignores where the client asks for it. Asked over its IPC socket, it moves a
// window: this puts the panel in the corner of the usable area next to the bar.
class Sway : public QObject {
    Q_OBJECT
public:
    // Present when this session runs under sway (its socket is named in SWAYSOCK).
    static std::optional<QString> socketPath();

    explicit Sway(QString socketPath, QObject *parent = nullptr);

    // Moves the shown window of this process titled `title`, of `size`, `margin`
    // pixels from the corner of its output's usable area that the bar is next to
    // (top right, or bottom right for a bar at the bottom). A window sway has not
    // mapped yet is looked for again a few times.
    void moveNextToBar(const QString &title, QSize size, int margin = 6);

    // Where, relative to the usable area, a window of `size` goes: `usable` is the
    // workspace's area without the bars, `output` the whole output.
    static QPoint positionNextToBar(QSize size, QRect usable, QRect output, int margin);

private:
    QCoro::Task<> move(QString title, QSize size, int margin);

    QString m_socketPath;
};
