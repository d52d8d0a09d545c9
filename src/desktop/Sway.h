#pragma once

#include "Flow.h"

#include <QObject>
#include <QRect>
#include <QString>

#include <memory>
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
    ~Sway() override;

    // Moves the shown window of this process titled `title`, of `size`, `margin`
    // pixels from the corner of its output's usable area that the bar is next to
    // (top right, or bottom right for a bar at the bottom). A window sway has not
    // mapped yet is looked for again a few times.
    void moveNextToBar(const QString &title, QSize size, int margin = 6);

    // Where, relative to the usable area, a window of `size` goes: `usable` is the
    // workspace's area without the bars, `output` the whole output.
    static QPoint positionNextToBar(QSize size, QRect usable, QRect output, int margin);

private:
    Flow move(FlowScope scope, QString title, QSize size, int margin);

    QString m_socketPath;
    // Cancelled on destruction: a move under way stops at its next answer.
    std::shared_ptr<TaskHandle> m_lifetime = TaskHandle::create();
};
