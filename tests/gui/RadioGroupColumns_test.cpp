// The column radio group on its own: selection range, column limits, and which changes
// count as the user's clicks.
#include "dialogs/RadioGroupColumns.h"

#include <QSignalSpy>
#include <QTest>

#include "tests/gui/GuiTestHelpers.h"

class RadioGroupColumnsTest : public QObject {
    Q_OBJECT

private slots:
    void setItemIndex_data();
    void setItemIndex();
    void columnsShownAreHeldToRange_data();
    void columnsShownAreHeldToRange();
    void onlyUserChangesAreClicks_data();
    void onlyUserChangesAreClicks();
    void replacingItemsClearsSelection();
};

void RadioGroupColumnsTest::setItemIndex_data() {
    QTest::addColumn<int>("items");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("selected");
    QTest::newRow("first") << 3 << -1 << 0 << 0;
    QTest::newRow("last") << 3 << 0 << 2 << 2;
    QTest::newRow("one past the end") << 3 << 1 << 3 << -1;
    QTest::newRow("far past the end") << 3 << 1 << 100 << -1;
    QTest::newRow("minus one") << 3 << 2 << -1 << -1;
    QTest::newRow("below minus one") << 3 << 2 << -5 << -1;
    QTest::newRow("empty group") << 0 << -1 << 0 << -1;
}

void RadioGroupColumnsTest::setItemIndex() {
    QFETCH(int, items);
    QFETCH(int, before);
    QFETCH(int, index);
    QFETCH(int, selected);
    RadioGroupColumns group;
    for (int i = 0; i < items; ++i) group.AddItem(QString("COM%1").arg(i + 1));
    group.SetItemIndex(before);
    group.SetItemIndex(index);
    QCOMPARE(group.ItemIndex(), selected);
    for (int i = 0; i < items; ++i) QCOMPARE(group.ItemButton(i)->isChecked(), i == selected);
}

void RadioGroupColumnsTest::columnsShownAreHeldToRange_data() {
    QTest::addColumn<int>("requested");
    QTest::addColumn<int>("shown");
    QTest::newRow("negative") << -3 << 1;
    QTest::newRow("zero") << 0 << 1;
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("sixteen") << 16 << 16;
    QTest::newRow("seventeen") << 17 << 16;
}

void RadioGroupColumnsTest::columnsShownAreHeldToRange() {
    QFETCH(int, requested);
    QFETCH(int, shown);
    RadioGroupColumns group;
    group.resize(16 * 100 + 10, 200);
    for (int i = 0; i < 32; ++i) group.AddItem(QString::number(i));
    group.SetColumns(requested);
    QCOMPARE(group.Columns(), shown);
    // The last item sits in the last column shown.
    const int perColumn = (32 + shown - 1) / shown;
    QCOMPARE(group.ItemGeometry(31).x(),
             group.ItemGeometry(0).x() + (31 / perColumn) * group.ItemGeometry(0).width());
}

void RadioGroupColumnsTest::onlyUserChangesAreClicks_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<int>("changes");
    QTest::newRow("user picks another item") << "click 2" << 1 << 1;
    QTest::newRow("user clicks the selected item") << "click 0" << 0 << 0;
    QTest::newRow("program selects another item") << "select 2" << 0 << 1;
    QTest::newRow("program selects nothing") << "select -1" << 0 << 1;
    QTest::newRow("program selects the selected item") << "select 0" << 0 << 0;
}

void RadioGroupColumnsTest::onlyUserChangesAreClicks() {
    QFETCH(QString, action);
    QFETCH(int, clicks);
    QFETCH(int, changes);
    RadioGroupColumns group;
    group.resize(200, 120);
    group.SetItems({"COM1", "COM4", "COM7"});
    group.SetItemIndex(0);
    group.show();
    QSignalSpy clickSpy(&group, &RadioGroupColumns::clicked);
    QSignalSpy changeSpy(&group, &RadioGroupColumns::itemIndexChanged);
    const int index = action.section(' ', 1).toInt();
    if (action.startsWith("click"))
        ClickItem(&group, index);
    else
        group.SetItemIndex(index);
    QCOMPARE(clickSpy.count(), clicks);
    QCOMPARE(changeSpy.count(), changes);
}

void RadioGroupColumnsTest::replacingItemsClearsSelection() {
    RadioGroupColumns group;
    group.SetItems({"COM1", "COM4"});
    group.SetItemIndex(1);
    QSignalSpy changeSpy(&group, &RadioGroupColumns::itemIndexChanged);
    group.SetItems({"COM2", "COM3", "COM5"});
    QCOMPARE(group.ItemIndex(), -1);
    QCOMPARE(group.Count(), 3);
    QCOMPARE(group.ItemText(2), QStringLiteral("COM5"));
    QCOMPARE(group.ItemText(3), QString());
    QCOMPARE(changeSpy.count(), 1);
    group.ClearItems();
    QCOMPARE(group.Count(), 0);
    QCOMPARE(group.ItemButton(0), nullptr);
}

QTEST_MAIN(RadioGroupColumnsTest)
#include "RadioGroupColumns_test.moc"
