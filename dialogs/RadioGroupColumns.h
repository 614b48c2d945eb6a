// A captioned group of radio buttons laid out in columns, as the bench dialogs show their
// port and language choices: n items in c columns, filled column by column with ⌈n/c⌉
// items each, columns of equal width, rows sharing the height below the caption. The
// items are placed by hand whenever the group is resized, so the dialogs can give the
// group any fixed geometry.
#pragma once

#include <QGroupBox>
#include <QString>
#include <QStringList>
#include <vector>

class QButtonGroup;
class QRadioButton;

class RadioGroupColumns : public QGroupBox {
    Q_OBJECT

public:
    static constexpr int kMinColumns = 1;
    static constexpr int kMaxColumns = 16;

    explicit RadioGroupColumns(QWidget* parent = nullptr);

    // Replaces every item; no item is selected afterwards.
    void SetItems(const QStringList& items);
    const QStringList& Items() const { return items_; }
    void AddItem(const QString& text);
    void ClearItems();
    int Count() const { return static_cast<int>(items_.size()); }
    QString ItemText(int index) const;

    // Columns shown: the requested count held to 1..16.
    void SetColumns(int columns);
    int Columns() const { return columns_; }

    // Position of the selected item, -1 for none.
    int ItemIndex() const;
    // Selects the item at index; an index outside the items leaves none selected.
    void SetItemIndex(int index);

    // The radio button of item index (nullptr outside the items), in group coordinates.
    QRadioButton* ItemButton(int index) const;
    QRect ItemGeometry(int index) const;

signals:
    // The user selected another item (mouse or keyboard).
    void clicked();
    // The selected item changed, by the user or by SetItemIndex, SetItems or ClearItems.
    void itemIndexChanged(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The part of the group the rows share: below the caption, inside the frame.
    QRect ItemsArea() const;
    void ArrangeButtons();
    QWidget* TabPredecessor() const;
    void OnButtonClicked(int index);
    void ReportIndex();
    // As in a Windows dialog the group is one tab stop: its checked item, or the first.
    void UpdateTabStop();

    QStringList items_;
    std::vector<QRadioButton*> buttons_;
    QButtonGroup* group_;
    int columns_ = kMinColumns;
    int reportedIndex_ = -1;
};
