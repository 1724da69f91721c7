#pragma once

#include <QWidget>

namespace morvant {

/** How far a run of the disc list has come, drawn as the style draws a
    progress bar, but with no object for the style to animate: under wine a
    progress bar that the Windows style had animated kept the process from
    ending after its last window closed. The run's words stand beside it in
    a label, which screen readers read. */
class RunProgress : public QWidget
{
    Q_OBJECT

public:
    explicit RunProgress(QWidget *parent = nullptr);

    /// Shows \a fraction, from 0 to 1, of the run done.
    void setFraction(double fraction);
    double fraction() const { return shown; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double shown = 0;
};

} // namespace morvant
