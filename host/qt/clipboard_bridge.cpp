// Our clipboard joined to Qt's: a CF_DIB published by the application becomes an image on
// QClipboard (and CF_TEXT text); what another application copies is read back on demand.
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QThread>

#include "host_pvt.h"

namespace corvex::qt::detail {

ClipboardBridge::ClipboardBridge() {
  if (QClipboard* cb = QGuiApplication::clipboard())
    connect(cb, &QClipboard::dataChanged, this, &ClipboardBridge::SystemChanged);
}

ClipboardBridge::~ClipboardBridge() = default;

void ClipboardBridge::DataPublished(const std::vector<TClipboardItem>& Items) {
  // QClipboard belongs to the GUI thread; a worker's publication is handed over to it.
  if (QThread::currentThread() != thread()) {
    QMetaObject::invokeMethod(this, [this, Items] { Publish(Items); }, Qt::QueuedConnection);
    return;
  }
  Publish(Items);
}

void ClipboardBridge::Publish(const std::vector<TClipboardItem>& Items) {
  QClipboard* cb = QGuiApplication::clipboard();
  if (cb == nullptr) return;
  auto* mime = new QMimeData;
  bool any = false;
  for (const TClipboardItem& item : Items) {
    if (item.Format == CF_DIB) {
      const QImage image = ImageFromDIB(item.Data.data(), item.Data.size());
      if (image.isNull()) continue;
      mime->setImageData(image);
      any = true;
    } else if (item.Format == CF_TEXT) {
      // Text blocks end with a zero byte; the text is UTF-8.
      const auto* begin = reinterpret_cast<const char*>(item.Data.data());
      const size_t n = qstrnlen(begin, uint(std::min<size_t>(item.Data.size(), UINT_MAX)));
      mime->setText(QString::fromUtf8(begin, qsizetype(n)));
      any = true;
    }
  }
  Publishing_ = true;
  if (any) {
    cb->setMimeData(mime);
    Published_ = cb->mimeData();
  } else {
    delete mime;
    cb->clear();
    Published_ = nullptr;
  }
  Publishing_ = false;
}

void ClipboardBridge::SystemChanged() {
  if (Publishing_) return;
  QClipboard* cb = QGuiApplication::clipboard();
  // Our own data may be reported again (the platform re-announcing it): only a change of
  // contents counts.
  if (cb != nullptr && Published_ != nullptr && cb->mimeData() == Published_) return;
  Published_ = nullptr;
  ClipboardChangedElsewhere();
}

std::vector<unsigned> ClipboardBridge::AvailableFormats() {
  std::vector<unsigned> formats;
  QClipboard* cb = QGuiApplication::clipboard();
  const QMimeData* mime = cb != nullptr ? cb->mimeData() : nullptr;
  if (mime == nullptr) return formats;
  if (mime->hasImage()) formats.push_back(CF_DIB);
  if (mime->hasText()) formats.push_back(CF_TEXT);
  return formats;
}

bool ClipboardBridge::FetchFormat(unsigned Format, std::vector<uint8_t>& Data) {
  QClipboard* cb = QGuiApplication::clipboard();
  if (cb == nullptr) return false;
  if (Format == CF_DIB) {
    Data = DIBFromImage(cb->image());
    return !Data.empty();
  }
  if (Format == CF_TEXT) {
    const QMimeData* mime = cb->mimeData();
    if (mime == nullptr || !mime->hasText()) return false;
    const QByteArray utf8 = mime->text().toUtf8();
    Data.assign(utf8.begin(), utf8.end());
    Data.push_back(0);
    return true;
  }
  return false;
}

}  // namespace corvex::qt::detail
