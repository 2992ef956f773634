#pragma once

#include <QAbstractButton>

// A labelled on/off switch: the label on the leading edge, a sliding knob on the trailing edge.
// Clicking anywhere on it, or Space while it has focus, flips it.
class SwitchToggle : public QAbstractButton {
    Q_OBJECT
public:
    explicit SwitchToggle(const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    QRectF trackRect() const;
};
