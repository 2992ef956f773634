#pragma once

#include <QButtonGroup>
#include <QStringList>
#include <QWidget>

// A row of joined, mutually exclusive segments. The user picks one with the mouse, or with the
// arrow keys once a segment has focus; setCurrentIndex() only shows a choice and emits nothing.
class SegmentedControl : public QWidget {
    Q_OBJECT
public:
    explicit SegmentedControl(const QStringList& segments, QWidget* parent = nullptr);

    void setCurrentIndex(int index);
    int currentIndex() const;
    int count() const;
    QAbstractButton* segment(int index) const;

signals:
    // The user chose the segment at index.
    void activated(int index);

private:
    QButtonGroup m_group;
};
