#include "desktop/LoadView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

LoadView::LoadView(QWidget *parent)
    : QWidget(parent), m_activityIndicator(new QProgressBar(this)), m_activityIndicatorLabel(new QLabel(this))
{
    m_activityIndicator->setObjectName(QStringLiteral("activityIndicator"));
    m_activityIndicatorLabel->setObjectName(QStringLiteral("activityIndicatorLabel"));
    // A range of 0 to 0 is the busy (indeterminate) form.
    m_activityIndicator->setRange(0, 0);
    m_activityIndicator->setTextVisible(false);
    m_activityIndicator->setMaximumWidth(120);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_activityIndicator);
    layout->addWidget(m_activityIndicatorLabel, 1);
    setVisible(false);
}

void LoadView::show(const QString &text)
{
    if (!text.isNull())
        m_activityIndicatorLabel->setText(text);
    if (isHidden())
        QWidget::show();
}
