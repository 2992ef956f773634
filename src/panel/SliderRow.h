#pragma once

#include <QWidget>

class QLabel;
class QSlider;

// A labelled continuous slider over a closed range of doubles: a header line with the label on
// the leading edge and a value text on the trailing edge, and under it the slider across the
// full width. Every movement, by mouse or keyboard, is reported at once through moved().
class SliderRow : public QWidget {
    Q_OBJECT
public:
    SliderRow(const QString& label, double minimum, double maximum, QWidget* parent = nullptr);

    // Shows a position without reporting it. Values outside the range sit at its nearer end.
    void setPosition(double position);
    double position() const;
    void setValueText(const QString& text);

    double minimum() const { return m_minimum; }
    double maximum() const { return m_maximum; }
    QSlider* slider() const { return m_slider; }
    QLabel* label() const { return m_label; }
    QLabel* valueLabel() const { return m_value; }

    // The slider's fine integer scale: enough steps that no pixel of a drag is lost.
    static constexpr int steps = 10000;

signals:
    void moved(double position);

protected:
    void changeEvent(QEvent* event) override;

private:
    double positionOf(int step) const;
    int stepOf(double position) const;
    void applyStyle();

    double m_minimum;
    double m_maximum;
    QLabel* m_label;
    QLabel* m_value;
    QSlider* m_slider;
};
