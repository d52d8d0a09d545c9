// The panel at any scale, font size and language: every label and button shows
// its whole text (nothing clipped, elided or laid over a neighbour) and the
// panel keeps its logical width. Run once per QT_SCALE_FACTOR
// (tests/CMakeLists.txt); saves a picture of each case in scaling/ here.

#include "UiTestSupport.h"

#include "ui/MenuPanelView.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTranslator>

namespace {

// Why `widget`'s text is not shown whole, or nothing.
QString cutShort(const QWidget *widget)
{
    const auto *label = qobject_cast<const QLabel *>(widget);
    const auto *button = qobject_cast<const QAbstractButton *>(widget);
    QSize needed = widget->sizeHint();
    if (label && label->wordWrap())
        needed = {0, label->heightForWidth(label->width())};
    else if (qobject_cast<const QPushButton *>(widget)) // the style's hint has a minimum width
        needed = {button->fontMetrics().horizontalAdvance(button->text()) + 8, button->fontMetrics().height()};
    // A widget wider than the room its parent has is cut off at the parent's edge.
    const bool inside = widget->visibleRegion() == QRegion(widget->rect());
    if (inside && needed.width() <= widget->width() && needed.height() <= widget->height())
        return {};
    return u"%1 \"%2\" needs %3×%4, has %5×%6%7"_s.arg(widget->objectName(), label ? label->text() : button->text())
        .arg(needed.width()).arg(needed.height()).arg(widget->width()).arg(widget->height())
        .arg(inside ? u""_s : u", partly outside its parent"_s);
}

} // namespace

class ScalingTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void textsWhole_data()
    {
        QTest::addColumn<QString>("language"); // a translation in :/i18n, or the pseudo one 40 % longer
        QTest::addColumn<qreal>("fontScale");
        QTest::addColumn<Auth>("auth");
        for (const QString &language : {u"en"_s, u"de"_s, u"pseudo"_s})
            for (const qreal fontScale : {1.0, 1.5})
                for (const auto &[view, auth] : {std::pair{"signed-out", Auth::signedOut},
                                                 {"waiting", Auth::waitingForBrowser}, {"dashboard", Auth::signedIn}})
                    QTest::addRow("%s-font%d-%s", qPrintable(language), int(fontScale * 100), view)
                        << language << fontScale << auth;
    }
    void textsWhole()
    {
        QFETCH(QString, language);
        QTranslator translator;
        if (language != u"en")
            QVERIFY(translator.load(language == u"pseudo" ? QStringLiteral(CUELARK_PSEUDO_QM) : u":/i18n/cuelark_"_s + language));
        QCoreApplication::installTranslator(&translator);
        QFETCH(qreal, fontScale);
        const QFont original = QApplication::font();
        QFont font = original;
        font.setPointSizeF(original.pointSizeF() * fontScale);
        QApplication::setFont(font);
        auto restore = qScopeGuard([&] { QApplication::setFont(original), QCoreApplication::removeTranslator(&translator); });

        UiFixture f;
        QFETCH(Auth, auth);
        AppStateTester::setAuthState(f.state, auth);
        AppStateTester::setEvents(f.state, {DJEvent{7, u"Saturday Night"_s, true, u"2026-12-06T20:00:00Z"_s, {}}});
        AppStateTester::setSelectedEventId(f.state, 7);
        AppStateTester::setRequests(f.state, {makeRequest(1, u"pending"_s, u"Alpha Song"_s, u"The Reds"_s),
                                              makeRequest(2, u"approved"_s, u"Beta Song"_s, u"The Blues"_s)});
        AppStateTester::setLastUpdated(f.state, QDateTime::currentDateTimeUtc());
        MenuPanelView panel(f.state);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        settle();

        QCOMPARE(panel.width(), MenuPanelView::panelWidth);
        QList<QWidget *> texts = panel.findChildren<QWidget *>();
        texts.removeIf([](QWidget *w) { return !w->isVisible() || !(qobject_cast<QLabel *>(w) || qobject_cast<QAbstractButton *>(w)); });
        QStringList cut;
        for (qsizetype i = 0; i < texts.size(); ++i) {
            if (const QString why = cutShort(texts[i]); !why.isEmpty())
                cut << why;
            for (const QWidget *other : texts.sliced(i + 1))
                if (other->parent() == texts[i]->parent() && other->geometry().intersects(texts[i]->geometry()))
                    cut << texts[i]->objectName() + u" overlaps "_s + other->objectName();
        }
        QVERIFY(QDir().mkpath(u"scaling"_s));
        QVERIFY(panel.grab().save(u"scaling/%1x-%2.png"_s.arg(qEnvironmentVariable("QT_SCALE_FACTOR", u"1"_s), QLatin1String(QTest::currentDataTag()))));
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u"\n"_s)));
    }
};

QTEST_MAIN(ScalingTest)
#include "tst_scaling.moc"
