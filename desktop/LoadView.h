#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

// A busy indicator with a line of text, shown while the library loads.
// Created hidden; it draws nothing itself.
class LoadView : public QWidget {
    Q_OBJECT

public:
    explicit LoadView(QWidget *parent = nullptr);

    // Sets the label's text when one is given (a null text keeps it) and
    // makes the view visible.
    void show(const QString &text);
    using QWidget::hide;
    using QWidget::show;

    QProgressBar *activityIndicator() const { return m_activityIndicator; }
    QLabel *activityIndicatorLabel() const { return m_activityIndicatorLabel; }

private:
    QProgressBar *m_activityIndicator;
    QLabel *m_activityIndicatorLabel;
};
