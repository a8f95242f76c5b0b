#include "feedwatch/live/live_view.h"

#include <algorithm>
#include <utility>

#include "feedwatch/console_output.h"
#include "feedwatch/live/http_server.h"
#include "feedwatch/live/inbox.h"
#include "packet/header.h"

namespace feedwatch {
namespace {

// The stream of the packet in `buffer`, as the statistics name it.
StreamId stream_of(const std::uint8_t* buffer) {
  StreamId stream{{}, packet::message_type(buffer), packet::stat_scheme(buffer)};
  append_utf8(stream.server, packet::server_name(buffer));
  return stream;
}

}  // namespace

LiveView::LiveView() : inbox_(std::make_unique<Inbox>()) {}

LiveView::~LiveView() = default;

std::unique_ptr<LiveView> LiveView::open(const HttpSettings& settings, LiveInfo info,
                                         std::string& reason) {
  std::unique_ptr<LiveView> view(new LiveView());
  view->server_ = HttpServer::start(settings, std::move(info), *view->inbox_, reason);
  if (!view->server_) return nullptr;
  return view;
}

void LiveView::publish_packet(const PacketBuffer& buffer, const Arrival& arrival,
                              Expansion expansion, std::size_t area_bytes,
                              const MessagePart* part) {
  StreamId stream = stream_of(buffer.data());
  if (part == nullptr || part->part == 1) admitted_ = inbox_->admit(stream, arrival.at);
  if (!admitted_) return;
  // Beyond what was received or expanded, the buffer reads as zero.
  const std::size_t used =
      std::min(kPacketBufferSize, std::max(arrival.length, packet::kHeaderSize + area_bytes));
  const auto end = buffer.begin() + static_cast<std::ptrdiff_t>(used);
  HandedOver item{HandedOver::Type::kPacket, nullptr, std::move(stream),
                  part ? std::optional(*part) : std::nullopt,
                  PacketCopy{{buffer.begin(), end}, arrival, expansion, area_bytes}};
  if (inbox_->put(std::move(item))) server_->wake();
}

void LiveView::publish_summary(std::string json, MetricsSnapshot counters) {
  HandedOver item{HandedOver::Type::kSummary,
                  std::make_shared<const std::string>(std::move(json)),
                  {},
                  std::nullopt,
                  std::nullopt};
  if (inbox_->put(std::move(item), std::move(counters))) server_->wake();
}

std::uint16_t LiveView::port() const { return server_->port(); }

}  // namespace feedwatch
