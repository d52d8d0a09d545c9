#include "ui/DesktopUi.h"

#include "updates/Alert.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <memory>

#include <qcoro/qcorosignal.h>

namespace DesktopUi {

// Shown without a nested event loop: the app goes on refreshing while it is open.
QCoro::Task<int> showAlert(Alert alert)
{
    const auto owned = std::make_unique<QMessageBox>();
    QMessageBox &box = *owned;
    box.setObjectName(QStringLiteral("alert"));
    box.setIcon(QMessageBox::Information);
    box.setWindowTitle(QStringLiteral("Cuelark"));
    box.setWindowModality(Qt::ApplicationModal);
    // Release notes and versions come from the service: never markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(alert.title);
    box.setInformativeText(alert.body);
    if (auto *informative = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
        informative->setTextFormat(Qt::PlainText);

    QList<QAbstractButton *> buttons;
    for (qsizetype i = 0; i < alert.buttons.size(); ++i) {
        // The first button acts, the others decline; Escape presses the last.
        const auto role = i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole;
        buttons.append(box.addButton(alert.buttons.at(i), role));
    }
    if (!buttons.isEmpty()) {
        box.setDefaultButton(qobject_cast<QPushButton *>(buttons.first()));
        box.setEscapeButton(buttons.last());
    }
    // Quitting dismisses the alert, so that whoever awaits it hears the answer.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &box, &QDialog::reject);
    box.show();
    co_await qCoro(&box, &QDialog::finished);
    co_return int(buttons.indexOf(box.clickedButton()));
}

} // namespace DesktopUi
