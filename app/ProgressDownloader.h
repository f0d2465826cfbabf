// The web update's download over HTTP with a progress dialog whose Cancel
// button stops it; stopping changes nothing.
#pragma once

#include "imagedb/WebUpdate.h"

#include <QPointer>
#include <QWidget>

class CProgressDownloader : public IDownloader {
public:
    explicit CProgressDownloader(QWidget* parent) : m_pParent(parent) {}

    DownloadResult Download(const std::string& url) override;

    static constexpr const char* kProgressTitle = "Update Image Database";

private:
    QPointer<QWidget> m_pParent;
};
