#include "feedwatch/live/live_view.h"

#include <utility>

#include "feedwatch/live/http_server.h"
#include "feedwatch/live/inbox.h"

namespace feedwatch {

LiveView::LiveView() : inbox_(std::make_unique<Inbox>()) {}

LiveView::~LiveView() = default;

std::unique_ptr<LiveView> LiveView::open(const HttpSettings& settings, LiveInfo info,
                                         std::string& reason) {
  std::unique_ptr<LiveView> view(new LiveView());
  view->server_ = HttpServer::start(settings, std::move(info), *view->inbox_, reason);
  if (!view->server_) return nullptr;
  return view;
}

void LiveView::publish_packet(std::string json, const StreamId& stream, const MessagePart* part) {
  HandedOver item{HandedOver::Type::kPacket, std::make_shared<const std::string>(std::move(json)),
                  stream, part ? std::optional(*part) : std::nullopt};
  if (inbox_->put(std::move(item))) server_->wake();
}

void LiveView::publish_summary(std::string json, MetricsSnapshot counters) {
  HandedOver item{HandedOver::Type::kSummary,
                  std::make_shared<const std::string>(std::move(json)),
                  {},
                  std::nullopt};
  if (inbox_->put(std::move(item), std::move(counters))) server_->wake();
}

std::uint16_t LiveView::port() const { return server_->port(); }

}  // namespace feedwatch
