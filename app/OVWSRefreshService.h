#pragma once

#include "app/RefreshService.h"

#include <memory>

class OVWSService;

// The refresh over the real web-service proxy.
class OVWSRefreshService : public RefreshService {
public:
    explicit OVWSRefreshService(const QString &serviceUrl);
    ~OVWSRefreshService() override;

    void RefreshMediaCollectionByMediaType(QObject *context, AnswerHandler onAnswer, qint32 mediaType) override;
    // An error record or a SOAP fault, described; null for anything else.
    QString failureDescription(const QVariant &value) const override;

private:
    std::unique_ptr<OVWSService> m_service;
};
