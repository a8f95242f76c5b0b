#include "feedwatch/live/http_server.h"

// Beast's strings as the standard's string_view.
#define BOOST_BEAST_USE_STD_STRING_VIEW
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <algorithm>
#include <exception>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "feedwatch/live/metrics_text.h"
#include "feedwatch/live/published_state.h"
#include "feedwatch/live/routes.h"
#include "platform/sockets.h"
#include "platform/system.h"

namespace feedwatch {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

// Only the page's own files may run, style the page or be fetched by it.
constexpr std::string_view kContentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
    "img-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

// The version of every response, whatever the request's: HTTP/1.1 answers
// HTTP/1.0 clients as well.
constexpr unsigned kVersion = 11;

// The most time a response may take to be sent (the events aside).
constexpr auto kWriteTime = std::chrono::seconds(30);

// How long the unread input of a closing connection is read and thrown
// away, so that the client gets the last response before the close.
constexpr auto kLingerTime = std::chrono::seconds(2);

// The pause after a failed accept (such as too many open files).
constexpr auto kAcceptPause = std::chrono::milliseconds(100);

// After taking in what the loop handed over, the server rests for
// kRestFactor times as long as it worked (at most kLongestRest), so that
// the view takes a bounded share of the machine however many streams come
// fast; the loop skips what comes meanwhile.
constexpr int kRestFactor = 4;
constexpr auto kLongestRest = std::chrono::milliseconds(1000);

// The most events, and about the most bytes, one write to a client of
// /events carries.
constexpr std::size_t kEventsPerWrite = 64;
constexpr std::size_t kBytesPerWrite = std::size_t{1} << 20;

// What a client of /events gets first: how long to wait before it
// reconnects, in milliseconds.
constexpr std::string_view kEventStreamStart = "retry: 1000\n\n";

// The system's text for a failure.
std::string reason_text(const beast::error_code& ec) {
  if (ec.category() == asio::error::get_system_category()) return platform::error_text(ec.value());
  return ec.message();
}

// The fields every response carries.
template <class Body>
void add_common_fields(http::response<Body>& response) {
  response.set("Content-Security-Policy", kContentSecurityPolicy);
  response.set("X-Content-Type-Options", "nosniff");
  response.set("Referrer-Policy", "no-referrer");
}

class Session;

// The server's state on its thread.
struct Server {
  Server(const HttpSettings& s, LiveInfo info, Inbox& in)
      : settings(s), inbox(in), state(std::move(info)) {}

  beast::error_code listen(const tcp::endpoint& endpoint);
  void accept();
  void admit(tcp::socket socket);
  void take_in();
  void take_in_now();

  HttpSettings settings;
  Inbox& inbox;
  PublishedState state;
  std::size_t clients = 0;                        // connections served
  std::size_t refusing = 0;                       // connections being told that the server is busy
  std::vector<std::weak_ptr<Session>> listeners;  // the clients of /events
  asio::io_context ioc{1};
  tcp::acceptor acceptor{ioc};
  asio::steady_timer accept_pause{ioc};
  Clock::time_point next_take_in{};  // when the server may take in again
  asio::steady_timer rest{ioc};
  bool resting = false;  // whether the rest's timer is set
};

// One connection: requests answered one after another, or, once it asks for
// /events, the stream of events.
class Session : public std::enable_shared_from_this<Session> {
 public:
  // A connection that is served when `counted`, else told that the server is busy.
  Session(tcp::socket socket, Server& server, bool counted)
      : stream_(std::move(socket)), server_(server), counted_(counted) {
    ++(counted_ ? server_.clients : server_.refusing);
  }
  ~Session() { --(counted_ ? server_.clients : server_.refusing); }

  // Reads the next request's header, within the time and size allowed.
  void read_request();

  // Answers 503 and closes.
  void refuse_busy() { refuse(http::status::service_unavailable, true); }

  // Sends a client of /events what it has not had yet, or lets it go when
  // it has fallen too far behind.
  void pump();

 private:
  void on_header(const beast::error_code& ec);
  void answer(const Route& route, const http::request<http::empty_body>& request, bool close);
  void refuse(http::status status, bool close);
  template <class Body>
  void send(http::response<Body> response, bool head, bool close);
  template <class Message>
  void write(Message message, bool close);
  void start_events();
  void subscribe();
  void close();
  void drain();
  void drop();

  beast::tcp_stream stream_;
  Server& server_;
  bool counted_;
  bool closed_ = false;
  beast::flat_buffer buffer_{server_.settings.max_request_bytes};
  std::optional<http::request_parser<http::empty_body>> parser_;
  char discard_[512];
  // A client of /events: the next event it is to get, what it gets first,
  // and what a write under way holds.
  std::uint64_t next_ = 0;
  std::shared_ptr<const std::string> first_;
  bool writing_ = false;
  std::vector<std::shared_ptr<const std::string>> in_flight_;
  std::vector<asio::const_buffer> buffers_;
};

void Session::read_request() {
  parser_.emplace();
  parser_->header_limit(static_cast<std::uint32_t>(server_.settings.max_request_bytes));
  stream_.expires_after(server_.settings.header_time);
  http::async_read_header(
      stream_, buffer_, *parser_,
      [self = shared_from_this()](beast::error_code ec, std::size_t) { self->on_header(ec); });
}

void Session::on_header(const beast::error_code& ec) {
  if (ec == http::error::header_limit || ec == http::error::buffer_overflow) {
    return refuse(http::status::request_header_fields_too_large, true);
  }
  if (ec == http::error::end_of_stream) return close();
  // A request that is no HTTP; a time-out has closed the connection already.
  if (ec && ec.category() == make_error_code(http::error::end_of_stream).category()) {
    return refuse(http::status::bad_request, true);
  }
  if (ec) return drop();
  const http::request<http::empty_body>& request = parser_->get();
  // A body is never read: the connection closes after the answer.
  const bool body = parser_->chunked() || parser_->content_length().value_or(0) > 0;
  answer(route(request.method_string(), request.target()), request, body || !request.keep_alive());
}

void Session::answer(const Route& r, const http::request<http::empty_body>& request, bool close) {
  const bool head = request.method() == http::verb::head;
  const auto text = [&](std::string_view content_type, std::string body) {
    http::response<http::string_body> response{http::status::ok, kVersion, std::move(body)};
    response.set(http::field::content_type, content_type);
    response.set(http::field::cache_control, "no-store");
    send(std::move(response), head, close);
  };
  switch (r.resource) {
    case Route::Resource::kFile: {
      http::response<http::span_body<const char>> response{http::status::ok, kVersion};
      response.body() = {r.file->bytes.data(), r.file->bytes.size()};
      response.set(http::field::content_type, r.file->content_type);
      response.set(http::field::cache_control, "no-cache");
      return send(std::move(response), head, close);
    }
    case Route::Resource::kStreams:
      return text("application/json", server_.state.streams_json(Clock::now()));
    case Route::Resource::kMetrics: return text(kMetricsContentType, server_.state.metrics());
    case Route::Resource::kEvents:
      if (head) {
        http::response<http::empty_body> response{http::status::ok, kVersion};
        response.set(http::field::content_type, "text/event-stream");
        add_common_fields(response);
        response.keep_alive(false);
        return write(std::move(response), true);
      }
      return start_events();
    case Route::Resource::kNotAllowed: return refuse(http::status::method_not_allowed, close);
    case Route::Resource::kNotFound: return refuse(http::status::not_found, close);
  }
}

// Answers with `status` and its reason as the text.
void Session::refuse(http::status status, bool close) {
  http::response<http::string_body> response{status, kVersion,
                                             std::string(http::obsolete_reason(status)) + "\n"};
  response.set(http::field::content_type, "text/plain; charset=utf-8");
  if (status == http::status::service_unavailable) response.set(http::field::retry_after, "1");
  if (status == http::status::method_not_allowed) response.set(http::field::allow, kAllowedMethods);
  send(std::move(response), false, close);
}

template <class Body>
void Session::send(http::response<Body> response, bool head, bool close) {
  add_common_fields(response);
  response.keep_alive(!close);
  response.prepare_payload();
  if (!head) return write(std::move(response), close);
  write(http::response<http::empty_body>(std::move(response.base())), close);
}

template <class Message>
void Session::write(Message message, bool close) {
  auto held = std::make_shared<Message>(std::move(message));
  stream_.expires_after(kWriteTime);
  http::async_write(stream_, *held,
                    [self = shared_from_this(), held, close](beast::error_code ec, std::size_t) {
                      if (ec) return self->drop();
                      if (close) return self->close();
                      self->read_request();
                    });
}

void Session::start_events() {
  http::response<http::empty_body> response{http::status::ok, kVersion};
  response.set(http::field::content_type, "text/event-stream");
  response.set(http::field::cache_control, "no-store");
  add_common_fields(response);
  response.keep_alive(false);  // the stream ends with the connection
  auto held = std::make_shared<http::response<http::empty_body>>(std::move(response));
  stream_.expires_after(kWriteTime);
  http::async_write(stream_, *held,
                    [self = shared_from_this(), held](beast::error_code ec, std::size_t) {
                      if (ec) return self->drop();
                      self->subscribe();
                    });
}

// Makes the connection a client of /events: the current tables first, then
// every event from now on.  Whatever the client sends ends it.
void Session::subscribe() {
  stream_.expires_never();
  next_ = server_.state.events().end();
  std::string first(kEventStreamStart);
  first += kStreamsEvent;
  first += server_.state.streams_json(Clock::now());
  first += "\n\n";
  first_ = std::make_shared<const std::string>(std::move(first));
  server_.listeners.push_back(weak_from_this());
  stream_.async_read_some(
      asio::buffer(discard_),
      [self = shared_from_this()](beast::error_code, std::size_t) { self->drop(); });
  pump();
}

void Session::pump() {
  if (closed_) return;
  const EventRing& ring = server_.state.events();
  if (!ring.can_serve(next_)) return drop();
  if (writing_) return;
  in_flight_.clear();
  buffers_.clear();
  if (first_) {
    buffers_.push_back(asio::buffer(*first_));
    in_flight_.push_back(std::move(first_));
  }
  std::size_t count = 0;
  for (std::size_t bytes = 0;
       count < kEventsPerWrite && bytes < kBytesPerWrite && next_ + count < ring.end(); ++count) {
    const Event& event = ring.at(next_ + count);
    bytes += event.data->size();
    buffers_.push_back(asio::buffer(event.head.data(), event.head.size()));
    buffers_.push_back(asio::buffer(*event.data));
    buffers_.push_back(asio::buffer("\n\n", 2));
    in_flight_.push_back(event.data);
  }
  if (buffers_.empty()) return;
  writing_ = true;
  asio::async_write(stream_, buffers_,
                    [self = shared_from_this(), count](beast::error_code ec, std::size_t) {
                      self->writing_ = false;
                      if (ec) return self->drop();
                      self->next_ += count;
                      self->pump();
                    });
}

// Closes after the last response: no more is sent, and what the client
// still sends is read and thrown away for a while, so that the close does
// not reset the connection before the client has read the response.
void Session::close() {
  if (closed_) return;
  closed_ = true;
  beast::error_code ec;
  stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
  stream_.expires_after(kLingerTime);
  drain();
}

void Session::drain() {
  stream_.async_read_some(asio::buffer(discard_),
                          [self = shared_from_this()](beast::error_code ec, std::size_t) {
                            if (ec) return self->stream_.close();
                            self->drain();
                          });
}

// Closes at once, ending whatever is under way; what the system still holds
// to send is thrown away (a client that reads nothing holds nothing more).
void Session::drop() {
  if (closed_ && !stream_.socket().is_open()) return;
  closed_ = true;
  beast::error_code ec;
  stream_.socket().set_option(asio::socket_base::linger(true, 0), ec);
  stream_.close();
}

beast::error_code Server::listen(const tcp::endpoint& endpoint) {
  beast::error_code ec;
  acceptor.open(endpoint.protocol(), ec);
  if (!ec && platform::kListenerReusesAddress) {
    acceptor.set_option(asio::socket_base::reuse_address(true), ec);
  }
  if (!ec) acceptor.bind(endpoint, ec);
  if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
  return ec;
}

void Server::accept() {
  acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted) return;
    if (!ec) {
      admit(std::move(socket));
      return accept();
    }
    accept_pause.expires_after(kAcceptPause);
    accept_pause.async_wait([this](beast::error_code e) {
      if (!e) accept();
    });
  });
}

// Serves a new connection while fewer than the most clients are served;
// tells it that the server is busy while as many are being told so; closes
// it at once beyond.
void Server::admit(tcp::socket socket) {
  beast::error_code ec;
  socket.set_option(tcp::no_delay(true), ec);  // events leave at once
  if (clients < settings.max_clients) {
    std::make_shared<Session>(std::move(socket), *this, true)->read_request();
  } else if (refusing < settings.max_clients) {
    std::make_shared<Session>(std::move(socket), *this, false)->refuse_busy();
  }
}

// Takes in now, or when the rest after the last take-in ends.
void Server::take_in() {
  if (resting) return;
  if (Clock::now() >= next_take_in) return take_in_now();
  resting = true;
  rest.expires_at(next_take_in);
  rest.async_wait([this](beast::error_code ec) {
    resting = false;
    if (!ec) take_in_now();
  });
}

void Server::take_in_now() {
  const Clock::time_point start = Clock::now();
  state.take_in(inbox.take(), start);
  std::erase_if(listeners, [](const std::weak_ptr<Session>& l) { return l.expired(); });
  for (const std::weak_ptr<Session>& listener : std::vector(listeners)) {
    if (const auto session = listener.lock()) session->pump();
  }
  const Clock::time_point end = Clock::now();
  next_take_in = end + std::min<Clock::duration>((end - start) * kRestFactor, kLongestRest);
}

}  // namespace

struct HttpServer::Impl {
  Impl(const HttpSettings& settings, LiveInfo info, Inbox& inbox)
      : server(settings, std::move(info), inbox) {}

  Server server;
  std::thread thread;
};

HttpServer::HttpServer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<HttpServer> HttpServer::start(const HttpSettings& settings, LiveInfo info,
                                              Inbox& inbox, std::string& reason) {
  auto impl = std::make_unique<Impl>(settings, std::move(info), inbox);
  beast::error_code ec;
  const asio::ip::address address = asio::ip::make_address(settings.address, ec);
  if (!ec) ec = impl->server.listen({address, settings.port});
  if (ec) {
    reason = reason_text(ec);
    return nullptr;
  }
  impl->server.accept();
  impl->thread = std::thread([&ioc = impl->server.ioc] {
    // A request that fails in an unforeseen way ends only itself.
    for (;;) {
      try {
        ioc.run();
        return;
      } catch (const std::exception&) {
      }
    }
  });
  return std::unique_ptr<HttpServer>(new HttpServer(std::move(impl)));
}

HttpServer::~HttpServer() {
  impl_->server.ioc.stop();
  impl_->thread.join();
}

void HttpServer::wake() {
  asio::post(impl_->server.ioc, [&server = impl_->server] { server.take_in(); });
}

std::uint16_t HttpServer::port() const {
  beast::error_code ec;
  return impl_->server.acceptor.local_endpoint(ec).port();
}

}  // namespace feedwatch
