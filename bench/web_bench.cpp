// The web mode: kolvane-scpi with --http against kolvane-sim at 100 results
// per second, and pages open on /panel/live at once, each reading its
// messages as a browser would. The server's CPU time and memory over the
// run, and the time from a result's last byte on the line to its reading's
// text arriving in a page.
//
// The signal drifts by 1 kHz/s and the gate is 1 s, so every result has a
// count of its own and the reading's text names the result it came from.
#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/websocket/stream.hpp>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "bench/loopback.h"
#include "bench/modes.h"
#include "bench/report.h"
#include "resources/ids.h"
#include "tests/integration/sim_process.h"

namespace kolvane::bench {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = boost::beast::websocket;
using tcp = asio::ip::tcp;

constexpr double kCpuTargetPercent = 2;
constexpr double kLatencyTargetMs = 50;
// Resident memory may move by this much in a run and still be flat: the
// heap's arenas settle in steps of their own.
constexpr long kFlatKb = 512;
constexpr double kGateS = 1;
constexpr double kBaselineSeconds = 5;
constexpr double kWarmUpSeconds = 2;

// The count a frequency reading's text stands for ("1002.024 kHz" at a 1 s
// gate: 1002024), or 0 when it is none.
std::uint32_t CountOf(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str()) return 0;
  while (*end == ' ') ++end;
  const std::string unit(end, std::strcspn(end, " "));
  const double scale = unit == "Hz" ? 1 : unit == "kHz" ? 1e3 : unit == "MHz" ? 1e6 : 0;
  return static_cast<std::uint32_t>(std::llround(value * scale * kGateS));
}

// The reading display's text in a message, if the message carries it.
std::optional<std::string> ReadingText(const std::string& message) {
  const std::string id = "\"id\":" + std::to_string(ids::kReadingDisplay) + ",";
  const std::size_t at = message.find(id);
  if (at == std::string::npos) return std::nullopt;
  const std::size_t end = message.find('}', at);
  const std::size_t text = message.find("\"text\":\"", at);
  if (text == std::string::npos || text > end) return std::nullopt;
  const std::size_t from = text + 8;
  return message.substr(from, message.find('"', from) - from);
}

// One page: its messages as they came, and each new reading with the time
// it arrived.
struct Page {
  explicit Page(asio::io_context& io) : ws(io) {}

  websocket::stream<beast::tcp_stream> ws;
  beast::flat_buffer buffer;
  std::size_t messages = 0;
  std::size_t bytes = 0;
  std::string reading;
  std::vector<std::pair<double, std::uint32_t>> shown;  // arrival ms, count
  std::string ended;                                    // why it closed before the run ended
};

void ReadPage(const std::shared_ptr<Page>& p, const bool& over) {
  p->ws.async_read(p->buffer, [p, &over](beast::error_code ec, std::size_t n) {
    const double now = MonotonicMs();
    if (ec) {
      if (!over) p->ended = ec.message();
      return;
    }
    const std::string message = beast::buffers_to_string(p->buffer.data());
    p->buffer.consume(n);
    // The first message is the whole state at opening, not a new reading.
    if (const auto text = ReadingText(message); text && *text != p->reading) {
      if (p->messages > 0) p->shown.emplace_back(now, CountOf(*text));
      p->reading = *text;
    }
    ++p->messages;
    p->bytes += n;
    ReadPage(p, over);
  });
}

}  // namespace

int RunWeb(const WebOptions& options) {
  const std::string loadBefore = LoadAverage();
  test::SimProcess sim({"--rate", "100", "--signal-khz", "1000", "--drift-khz-per-s", "1"});
  if (!sim.Ready()) return Fail("kolvane-sim did not start (" KOLVANE_SIM_PATH ")");
  ServerProcess server(options.pages + 8);
  if (!server.Ready()) return Fail("kolvane-scpi did not answer (" KOLVANE_SCPI_PATH ")");
  Client c(server.Port());
  if (c.Query("FREQ:GATE:TIME 1;*OPC?") != "1") return Fail("the gate time was refused");

  double cpu0 = server.CpuMs();
  double t0 = MonotonicMs();
  std::this_thread::sleep_for(std::chrono::duration<double>(kBaselineSeconds));
  const double baseline = (server.CpuMs() - cpu0) / (MonotonicMs() - t0) * 100;

  asio::io_context io;
  bool over = false;
  std::vector<std::shared_ptr<Page>> pages;
  const std::string host = "127.0.0.1:" + std::to_string(server.HttpPort());
  const tcp::endpoint at(asio::ip::address_v4::loopback(),
                         static_cast<unsigned short>(server.HttpPort()));
  for (int i = 0; i < options.pages; ++i) {
    auto p = std::make_shared<Page>(io);
    beast::error_code ec;
    beast::get_lowest_layer(p->ws).socket().connect(at, ec);
    if (!ec) p->ws.handshake(host, "/panel/live", ec);
    if (ec) return Fail("page " + std::to_string(i + 1) + " was not opened: " + ec.message());
    ReadPage(p, over);
    pages.push_back(std::move(p));
  }
  const double opened = MonotonicMs();
  std::thread reader([&io] { io.run(); });
  std::this_thread::sleep_for(std::chrono::duration<double>(kWarmUpSeconds));

  cpu0 = server.CpuMs();
  t0 = MonotonicMs();
  const long rssFirst = server.RssKb();
  long rssMax = rssFirst, rssLast = rssFirst;
  const double end = t0 + options.seconds * 1e3;
  for (double next = t0 + 1e3; next < end; next += 1e3) {
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(next - MonotonicMs()));
    rssLast = server.RssKb();
    rssMax = std::max(rssMax, rssLast);
  }
  std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(end - MonotonicMs()));
  const double cpu = (server.CpuMs() - cpu0) / (MonotonicMs() - t0) * 100;
  rssLast = server.RssKb();
  rssMax = std::max(rssMax, rssLast);
  asio::post(io, [&] {
    over = true;
    for (auto& p : pages) beast::get_lowest_layer(p->ws).socket().close();
  });
  reader.join();
  const double open = (MonotonicMs() - opened) / 1e3 * options.pages;  // page-seconds

  std::unordered_map<std::uint32_t, double> written;
  for (const SimResult& r : SimResults(sim.Log())) written[r.n1] = r.ms;
  std::vector<double> latency;
  std::size_t unmatched = 0, messages = 0, bytes = 0, ended = 0;
  std::string why;
  for (const auto& p : pages) {
    messages += p->messages;
    bytes += p->bytes;
    if (!p->ended.empty()) {
      ++ended;
      why = " (" + p->ended + ")";
    }
    for (const auto& [arrived, count] : p->shown) {
      const auto it = written.find(count);
      if (it == written.end()) {
        ++unmatched;
        continue;
      }
      // The simulator stamps a result once write() has returned, now and
      // then after the page has it: that counts as 0.
      latency.push_back(std::max(0.0, arrived - it->second));
    }
  }

  Table t;
  t.Add("server CPU, no page open", Format("%.2f %% of one core", baseline));
  t.Add(Format("server CPU, %d pages", options.pages), Format("%.2f %% of one core", cpu),
        Format("at most %.0f %%", kCpuTargetPercent), cpu <= kCpuTargetPercent);
  t.Add("server memory (RSS) first, last, max",
        Format("%ld, %ld, %ld kB (sampled each second)", rssFirst, rssLast, rssMax), "flat",
        rssMax <= rssFirst + kFlatKb);
  const double p99 = Quantile(latency, 0.99);
  t.Add("result's last byte to the page, median", Format("%.2f ms", Quantile(latency, 0.5)));
  t.Add("result's last byte to the page, p99", Format("%.2f ms", p99),
        Format("at most %.0f ms", kLatencyTargetMs), !latency.empty() && p99 <= kLatencyTargetMs);
  t.Add("result's last byte to the page, max", Format("%.2f ms", Quantile(latency, 1)));
  t.Add("readings shown per page",
        Format("%.1f/s (%zu in all, %zu not matched to a result)",
               static_cast<double>(latency.size()) / open, latency.size(), unmatched));
  t.Add("messages per page",
        Format("%.1f/s, %.0f bytes each on average", static_cast<double>(messages) / open,
               messages > 0 ? static_cast<double>(bytes) / static_cast<double>(messages) : 0.0));
  t.Add("pages closed by the server", Format("%zu", ended) + why, "none", ended == 0);

  std::printf(
      "kolvane-bench web: kolvane-scpi --http against kolvane-sim at 100 results/s, %d pages "
      "on /panel/live, %.0f s\n",
      options.pages, options.seconds);
  std::printf("  load average before %s, after %s\n", loadBefore.c_str(), LoadAverage().c_str());
  t.Print();
  return 0;
}

}  // namespace kolvane::bench
