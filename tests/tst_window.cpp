// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "form1.h"
#include "readlist.h"
#include "startedwindow.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QByteArray>
#include <QClipboard>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QModelIndex>
#include <QModelIndexList>
#include <QObject>
#include <QPixmap>
#include <QPoint>
#include <QPushButton>
#include <QRect>
#include <QRgb>
#include <QScreen>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr int TwipsPerPixel = 15;

// Every control of the window, by the name it is stored under.
const QStringList ControlNames {"Text1",  "Text2",   "Text3",    "Send",    "On",
                                "Off",    "Host",    "Constant", "Default", "Set",
                                "Clear",  "Clrlist", "Speed",    "List1",   "Label1",
                                "Label2", "Label3",  "Label4",   "Image1"};

QWidget *namedControl(Form1 &form, const QString &name)
{
    return form.findChild<QWidget *>(name, Qt::FindDirectChildrenOnly);
}

QList<QPushButton *> buttons(Form1 &form)
{
    return {form.Send,    form.On,  form.Off,   form.Host,    form.Constant,
            form.Default, form.Set, form.Clear, form.Clrlist, form.Speed};
}

// The label that shows a control's text: a button's caption lies in a label over the button.
QLabel *textLabel(QWidget *control)
{
    if (auto *label = qobject_cast<QLabel *>(control))
        return label;
    return control->findChild<QLabel *>();
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void everyControlHasItsKindPlaceAndSize_data();
    void everyControlHasItsKindPlaceAndSize();
    void windowIsPelmarAndItsSizeIsFixed();
    void onlyTheControlsAreShownAndNoneIsDisabled();
    void everyTextIsShownWholeInItsBox_data();
    void everyTextIsShownWholeInItsBox();
    void noButtonIsDefaultOrHasAnAccelerator();
    void tabVisitsTheControlsInOrderFromText1();
    void aButtonClicksFromTheMouseOnItsCaptionAndFromSpace_data();
    void aButtonClicksFromTheMouseOnItsCaptionAndFromSpace();
    void enterAndEscapeInATextBoxActivateNothing_data();
    void enterAndEscapeInATextBoxActivateNothing();
    void selectingALineOrClickingALabelOrThePictureRunsNothing();
    void longListKeepsItsPlaceItsSelectionAndItsKeys();
    void locomotiveIsShownAtItsOwnSizeUnscaledAndUnframed();
    void controlsAreDrawnOverTheLabelsTheyOverlap_data();
    void controlsAreDrawnOverTheLabelsTheyOverlap();

private:
    // Checks that nothing ran since init(): no click, no message, no byte to the scanner.
    void verifyNothingRan();

    std::unique_ptr<StartedWindow> m_window;
    std::vector<std::unique_ptr<QSignalSpy>> m_clicks;
};

void TestWindow::init()
{
    m_window = std::make_unique<StartedWindow>();
    Form1 &form = m_window->form;
    for (QPushButton *button : buttons(form)) {
        m_clicks.push_back(std::make_unique<QSignalSpy>(button, &QPushButton::clicked));
        QVERIFY(m_clicks.back()->isValid());
    }
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
}

void TestWindow::cleanup()
{
    m_clicks.clear();
    m_window.reset();
}

void TestWindow::verifyNothingRan()
{
    // A button pressed from the keyboard clicks only after 100 ms of showing itself pressed.
    const QByteArray sent = m_window->scanner.readSent(200);
    for (const auto &clicks : m_clicks)
        QCOMPARE(clicks->size(), 0);
    QCOMPARE(m_window->messages, QStringList());
    QCOMPARE(sent, QByteArray());
}

void TestWindow::everyControlHasItsKindPlaceAndSize_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("Text3") << "QLineEdit" << 1560 << 3240 << 495 << 375;
    QTest::newRow("Clrlist") << "QPushButton" << 7560 << 3240 << 975 << 495;
    QTest::newRow("List1") << "ListBoxTable" << 7560 << 720 << 2175 << 2400;
    QTest::newRow("Clear") << "QPushButton" << 8640 << 3240 << 1095 << 495;
    QTest::newRow("Speed") << "QPushButton" << 2160 << 3240 << 975 << 495;
    QTest::newRow("Text2") << "QLineEdit" << 5520 << 720 << 495 << 375;
    QTest::newRow("Set") << "QPushButton" << 5520 << 1200 << 495 << 495;
    QTest::newRow("Default") << "QPushButton" << 5880 << 3240 << 1095 << 495;
    QTest::newRow("Constant") << "QPushButton" << 4080 << 2640 << 1695 << 495;
    QTest::newRow("Host") << "QPushButton" << 4080 << 3240 << 1695 << 495;
    QTest::newRow("Off") << "QPushButton" << 6480 << 2640 << 495 << 495;
    QTest::newRow("On") << "QPushButton" << 5880 << 2640 << 495 << 495;
    QTest::newRow("Send") << "QPushButton" << 3480 << 720 << 975 << 375;
    QTest::newRow("Text1") << "QLineEdit" << 480 << 720 << 2775 << 375;
    QTest::newRow("Label3") << "QLabel" << 120 << 3240 << 1455 << 495;
    QTest::newRow("Image1") << "QLabel" << 240 << 1560 << 2925 << 1560;
    QTest::newRow("Label4") << "QLabel" << 7800 << 360 << 1935 << 375;
    QTest::newRow("Label2") << "QLabel" << 5160 << 360 << 1335 << 375;
    QTest::newRow("Label1") << "QLabel" << 360 << 240 << 3255 << 375;
}

void TestWindow::everyControlHasItsKindPlaceAndSize()
{
    QFETCH(QString, kind);
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, width);
    QFETCH(int, height);
    QWidget *control = namedControl(m_window->form, QTest::currentDataTag());
    QVERIFY(control);
    QVERIFY(control->inherits(qPrintable(kind)));
    QCOMPARE(control->geometry(),
             QRect(left / TwipsPerPixel, top / TwipsPerPixel, width / TwipsPerPixel,
                   height / TwipsPerPixel));
}

void TestWindow::windowIsPelmarAndItsSizeIsFixed()
{
    Form1 &form = m_window->form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Pelmar"));
    const QSize clientArea(10035 / TwipsPerPixel, 3855 / TwipsPerPixel);
    QCOMPARE(form.size(), clientArea);
    QCOMPARE(form.minimumSize(), clientArea);
    QCOMPARE(form.maximumSize(), clientArea);

    const QRect listBefore = form.List1->geometry();
    form.resize(900, 500);
    QCOMPARE(form.size(), clientArea);
    QCOMPARE(form.List1->geometry(), listBefore);
}

void TestWindow::onlyTheControlsAreShownAndNoneIsDisabled()
{
    Form1 &form = m_window->form;
    const QList<QWidget *> shown = form.findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    QCOMPARE(shown.size(), ControlNames.size());
    for (const QString &name : ControlNames) {
        QWidget *const named = namedControl(form, name);
        QVERIFY2(named && shown.contains(named), qPrintable(name));
        QVERIFY(named->isVisible());
        QVERIFY(named->isEnabled());
    }
    for (const QLabel *label : form.findChildren<QLabel *>())
        QVERIFY2(!label->text().startsWith(QStringLiteral("Label")), qPrintable(label->text()));
    QCOMPARE(form.Text1->text(), QString());
    QCOMPARE(form.List1->model()->rowCount(), 0);
}

void TestWindow::everyTextIsShownWholeInItsBox_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("Label1") << "Type what you want to send to the scanner and then press Vemto.";
    QTest::newRow("Label2") << "Length of barcode";
    QTest::newRow("Label3") << "Distance between barcodes in inches";
    QTest::newRow("Label4") << "List of barcodes read";
    QTest::newRow("Send") << "Send";
    QTest::newRow("On") << "On";
    QTest::newRow("Off") << "Off";
    QTest::newRow("Host") << "Host Triggering Mode";
    QTest::newRow("Constant") << "Constant Scan and Report Mode";
    QTest::newRow("Default") << "Default";
    QTest::newRow("Set") << "Set";
    QTest::newRow("Clear") << "Clear Buffer";
    QTest::newRow("Clrlist") << "Clear List";
    QTest::newRow("Speed") << "Calculate Speed";
}

// Wrapped at word boundaries, every line of the text lies inside the box: no word is split and
// no line is cut off at the bottom.
void TestWindow::everyTextIsShownWholeInItsBox()
{
    QFETCH(QString, text);
    QWidget *control = namedControl(m_window->form, QTest::currentDataTag());
    QLabel *label = textLabel(control);
    QVERIFY(label);
    QCOMPARE(label->text(), text);
    QVERIFY(label->isVisible());
    QVERIFY(label->wordWrap());
    QVERIFY(control->rect().contains(QRect(label->mapTo(control, QPoint()), label->size())));
    const QFontMetrics metrics(label->font());
    for (const QString &word : text.split(QLatin1Char(' ')))
        QVERIFY2(metrics.horizontalAdvance(word) <= label->contentsRect().width(),
                 qPrintable(word));
    QVERIFY2(label->heightForWidth(label->width()) <= label->height(),
             qPrintable(QStringLiteral("%1 pixels of text in a label %2 high")
                            .arg(label->heightForWidth(label->width()))
                            .arg(label->height())));
}

void TestWindow::noButtonIsDefaultOrHasAnAccelerator()
{
    for (QPushButton *button : buttons(m_window->form)) {
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
        QVERIFY(button->shortcut().isEmpty());
        QVERIFY(!button->text().contains(QLatin1Char('&')));
        QVERIFY(!textLabel(button)->text().contains(QLatin1Char('&')));
    }
}

void TestWindow::tabVisitsTheControlsInOrderFromText1()
{
    Form1 &form = m_window->form;
    const QList<QWidget *> order
        = {form.Send,  form.On,    form.Off,   form.Host,  form.Constant, form.Default, form.Set,
           form.Text2, form.Speed, form.Clear, form.List1, form.Clrlist,  form.Text3,   form.Text1};
    QCOMPARE(QApplication::focusWidget(), form.Text1);
    for (QWidget *next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }
}

void TestWindow::aButtonClicksFromTheMouseOnItsCaptionAndFromSpace_data()
{
    QTest::addColumn<QString>("button");
    for (const QString button :
         {"Send", "On", "Off", "Host", "Constant", "Default", "Set", "Clear", "Clrlist", "Speed"})
        QTest::newRow(qPrintable(button)) << button;
}

void TestWindow::aButtonClicksFromTheMouseOnItsCaptionAndFromSpace()
{
    QFETCH(QString, button);
    Form1 &form = m_window->form;
    auto *control = qobject_cast<QPushButton *>(namedControl(form, button));
    QVERIFY(control);
    QSignalSpy clicks(control, &QPushButton::clicked);
    QVERIFY(clicks.isValid());
    // Through the window, as a user's click comes, so that the caption over the button is hit.
    QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {},
                      textLabel(control)->mapTo(&form, textLabel(control)->rect().center()));
    QCOMPARE(clicks.size(), 1);
    control->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), control);
    QTest::keyClick(control, Qt::Key_Space);
    QCOMPARE(clicks.size(), 2);
}

void TestWindow::enterAndEscapeInATextBoxActivateNothing_data()
{
    QTest::addColumn<QString>("textBox");
    QTest::addColumn<int>("key");
    for (const QString textBox : {"Text1", "Text2", "Text3"}) {
        QTest::addRow("Return in %s", qPrintable(textBox))
            << textBox << static_cast<int>(Qt::Key_Return);
        QTest::addRow("keypad Enter in %s", qPrintable(textBox))
            << textBox << static_cast<int>(Qt::Key_Enter);
        QTest::addRow("Escape in %s", qPrintable(textBox))
            << textBox << static_cast<int>(Qt::Key_Escape);
    }
}

void TestWindow::enterAndEscapeInATextBoxActivateNothing()
{
    QFETCH(QString, textBox);
    QFETCH(int, key);
    Form1 &form = m_window->form;
    // Were Send clicked, these bytes would reach the scanner.
    form.Text1->setText(QStringLiteral("1B31"));
    auto *edit = qobject_cast<QLineEdit *>(namedControl(form, textBox));
    edit->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), edit);
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key));
    verifyNothingRan();
    QCOMPARE(QApplication::focusWidget(), edit);
    QVERIFY(form.isVisible());
}

void TestWindow::selectingALineOrClickingALabelOrThePictureRunsNothing()
{
    Form1 &form = m_window->form;
    m_window->scanner.write("000000000001\r\n");
    QTRY_COMPARE(form.List1->model()->rowCount(), 1);
    m_window->scanner.write("000000000002\r\n");
    QTRY_COMPARE(form.List1->model()->rowCount(), 2);
    QCOMPARE(form.List1->selectionMode(), QAbstractItemView::SingleSelection);

    QWidget *viewport = form.List1->viewport();
    const QModelIndex top = form.List1->model()->index(0, 0);
    const QModelIndex second = form.List1->model()->index(1, 0);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, form.List1->visualRect(top).center());
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier,
                      form.List1->visualRect(second).center());
    QCOMPARE(form.List1->selectionModel()->selectedIndexes(), QModelIndexList {second});
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, form.List1->visualRect(second).center());
    QTest::keyClick(form.List1, Qt::Key_F2);
    QCOMPARE(form.List1->findChildren<QLineEdit *>(), QList<QLineEdit *>());
    // Home and End go to the newest and the oldest line, as in a list box.
    QTest::keyClick(form.List1, Qt::Key_Home);
    QCOMPARE(form.List1->selectionModel()->selectedIndexes(), QModelIndexList {top});
    QTest::keyClick(form.List1, Qt::Key_End);
    QCOMPARE(form.List1->selectionModel()->selectedIndexes(), QModelIndexList {second});

    for (QWidget *decoration : {form.Label1, form.Label2, form.Label3, form.Label4, form.Image1})
        QTest::mouseClick(decoration, Qt::LeftButton);
    QCOMPARE(second.data().toString(), QStringLiteral("1. 000000000001"));
    QCOMPARE(top.data().toString(), QStringLiteral("2. 000000000002"));
    QCOMPARE(form.ReadNumber, QStringLiteral("3"));
    QCOMPARE(form.ScanFlag, std::int16_t {1});
    verifyNothingRan();
}

// Far more lines than the view shows: it must neither lose its place nor leave stale pixels
// behind when it repaints only the part that a read changed. bench-listscale times the same at a
// million lines.
void TestWindow::longListKeepsItsPlaceItsSelectionAndItsKeys()
{
    constexpr int Listed = 100'000;
    const auto lineFor = [](int number) { return QStringLiteral("%1. 012345678905").arg(number); };
    Form1 &form = m_window->form;
    QAbstractItemView *list = form.List1;
    QScrollBar *scrollBar = list->verticalScrollBar();
    const auto selected = [list] { return list->selectionModel()->selectedIndexes(); };
    const auto topLine = [list] { return list->indexAt(QPoint(2, 2)).data().toString(); };
    for (int number = 1; number <= Listed; ++number)
        m_window->reads().insertTop(lineFor(number));
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Home);
    for (int row = 0; row < 3; ++row)
        QTest::keyClick(list, Qt::Key_Down);
    int newest = Listed;
    for (; newest < Listed + 50; QCoreApplication::processEvents())
        m_window->reads().insertTop(lineFor(++newest));
    QCOMPARE(topLine(), lineFor(newest));
    QCOMPARE(selected().size(), 1);
    QCOMPARE(selected().first().data().toString(), lineFor(Listed - 3));
    const QPoint viewportAt = list->viewport()->mapTo(&form, QPoint(0, 0));
    const auto onScreen = [&] {
        return form.screen()
            ->grabWindow(form.winId(), viewportAt.x(), viewportAt.y(), list->viewport()->width(),
                         list->viewport()->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    QTRY_COMPARE(onScreen(),
                 list->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32));

    QTest::keyClick(list, Qt::Key_End);
    QCOMPARE(selected().first().data().toString(), lineFor(1));
    QCOMPARE(scrollBar->value(), scrollBar->maximum());
    QVERIFY(list->viewport()->rect().contains(list->visualRect(selected().first())));
    QTest::keyClick(list, Qt::Key_Up);
    QCOMPARE(selected().first().data().toString(), lineFor(2));

    const int middle = scrollBar->maximum() / 2;
    scrollBar->setValue(middle);
    QCOMPARE(list->indexAt(QPoint(2, 2)).row(), middle);
    const int maximum = scrollBar->maximum();
    m_window->reads().insertTop(lineFor(++newest));
    QTRY_COMPARE(scrollBar->maximum(), maximum + 1);
    QCOMPARE(scrollBar->value(), middle);
    QTest::keyClick(list, Qt::Key_Home);
    QCOMPARE(topLine(), lineFor(newest));
    QCOMPARE(selected().first().data().toString(), lineFor(newest));

    list->actions().at(1)->trigger();
    const QString copied = QGuiApplication::clipboard()->text();
    QCOMPARE(copied.count(u'\n'), newest - 1);
    QVERIFY(copied.startsWith(lineFor(newest) + u'\n') && copied.endsWith(u'\n' + lineFor(1)));

    form.Clrlist->click();
    QCOMPARE(list->model()->rowCount(), 0);
    QVERIFY(selected().isEmpty());
    QTRY_COMPARE(scrollBar->maximum(), 0);
}

void TestWindow::locomotiveIsShownAtItsOwnSizeUnscaledAndUnframed()
{
    QLabel *image = m_window->form.Image1;
    const QPixmap pixmap = image->pixmap();
    QCOMPARE(pixmap.size(), QSize(195, 104));
    QCOMPARE(image->size(), pixmap.size());
    QVERIFY(!image->hasScaledContents());
    QCOMPARE(image->frameWidth(), 0);
    // What the screen shows is the bitmap itself, pixel for pixel.
    const QImage shown = image->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown, pixmap.toImage().convertToFormat(QImage::Format_RGB32));
    QSet<QRgb> colours;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            colours.insert(shown.pixel(x, y));
    QCOMPARE(colours, (QSet<QRgb> {qRgb(255, 255, 255), qRgb(4, 4, 4)}));
}

void TestWindow::controlsAreDrawnOverTheLabelsTheyOverlap_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("label");
    const std::pair<const char *, const char *> overlaps[]
        = {{"Text3", "Label3"}, {"Text2", "Label2"}, {"List1", "Label4"}};
    for (const auto &[control, label] : overlaps)
        QTest::addRow("%s over %s", control, label)
            << QString::fromLatin1(control) << QString::fromLatin1(label);
}

void TestWindow::controlsAreDrawnOverTheLabelsTheyOverlap()
{
    QFETCH(QString, control);
    QFETCH(QString, label);
    Form1 &form = m_window->form;
    QWidget *over = namedControl(form, control);
    const QRect overlap = over->geometry() & namedControl(form, label)->geometry();
    QCOMPARE(qMin(overlap.width(), overlap.height()), 1);
    for (int y = overlap.top(); y <= overlap.bottom(); ++y) {
        for (int x = overlap.left(); x <= overlap.right(); ++x) {
            QWidget *hit = form.childAt(x, y);
            QVERIFY2(hit == over || over->isAncestorOf(hit),
                     qPrintable(QStringLiteral("at %1,%2").arg(x).arg(y)));
        }
    }
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
