// kolvane-scpi's own parsing: the command line's addresses and networks,
// and the cutting of a connection's bytes into lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/scpi/line_splitter.h"
#include "app/scpi/options.h"

namespace kolvane::server {
namespace {

TEST(ScpiOptions, ListenAddresses) {
  struct Case {
    std::string arg;
    std::string bound;  // empty: refused
  };
  const Case cases[] = {
      {"127.0.0.1", "127.0.0.1:5025"},
      {"0.0.0.0:6000", "0.0.0.0:6000"},
      {"[::]:5025", "[::]:5025"},
      {"[::1]", "[::1]:5025"},
      {"::", "[::]:5025"},
      {"10.1.2.3:0", "10.1.2.3:0"},
      {"localhost", ""},
      {"127.0.0.1:", ""},
      {"127.0.0.1:65536", ""},
      {"[127.0.0.1]:5025", ""},
      {"[::1]:x", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    ServerOptions o;
    std::string error;
    const bool ok = ParseServerOptions({"--listen", c.arg}, &o, &error);
    EXPECT_EQ(ok, !c.bound.empty()) << c.arg << ": " << error;
    if (ok) {
      ASSERT_EQ(o.listen.size(), 1u);
      EXPECT_EQ(EndpointText(o.listen[0]), c.bound);
    } else {
      EXPECT_NE(error.find("'" + c.arg + "'"), std::string::npos) << error;
    }
  }
}

TEST(ScpiOptions, DefaultsAndBadValues) {
  ServerOptions o;
  std::string error;
  ASSERT_TRUE(ParseServerOptions({}, &o, &error));
  ASSERT_EQ(o.listen.size(), 1u);
  EXPECT_EQ(EndpointText(o.listen[0]), "127.0.0.1:5025");
  EXPECT_EQ(o.maxClients, 8);

  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--port", "0"},
                                             {"--port", "10"},
                                             {"--max-clients", "0"},
                                             {"--max-clients=x"},
                                             {"--allow", "10.0.0.0/33"},
                                             {"--allow", "::/129"},
                                             {"--allow", "host"},
                                             {"--name", std::string(64, 'n')},
                                             {"--log"},
                                             {"--quiet=1"},
                                             {"--frob"}}) {
    EXPECT_FALSE(ParseServerOptions(args, &o, &error)) << args[0];
    EXPECT_EQ(error.rfind("kolvane-scpi: ", 0), 0u) << error;
  }
}

TEST(ScpiOptions, RepeatedOptionsAllCountInTheirOrder) {
  ServerOptions o;
  std::string error;
  ASSERT_TRUE(ParseServerOptions({"--listen", "127.0.0.1:1", "--allow=10.0.0.0/8",
                                  "--listen=[::1]:2", "--allow", "::1", "--quiet"},
                                 &o, &error))
      << error;
  ASSERT_EQ(o.listen.size(), 2u);
  EXPECT_EQ(EndpointText(o.listen[0]), "127.0.0.1:1");
  EXPECT_EQ(EndpointText(o.listen[1]), "[::1]:2");
  ASSERT_EQ(o.allow.size(), 2u);
  EXPECT_EQ(o.allow[0].text, "10.0.0.0/8");
  EXPECT_EQ(o.allow[1].text, "::1");
  EXPECT_TRUE(o.quiet);
}

TEST(ScpiOptions, MessagesNameTheArgument) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--port", "3", "--listen"}, "kolvane-scpi: --listen needs a value (see --help)"},
      {{"--announce=yes"}, "kolvane-scpi: --announce takes no value (see --help)"},
      {{"-h", "extra"}, "kolvane-scpi: unexpected argument 'extra' (see --help)"},
      {{"--name=", "--quiet"},  // an empty value, not the next argument
       "kolvane-scpi: bad --name '' (accepted: 1 to 63 bytes, the limit of an mDNS name)"},
      {{"--max-clients", "8", "--max-clients=0"},
       "kolvane-scpi: bad --max-clients '0' (accepted: 1 to 10000)"},
  };
  for (const Case& c : cases) {
    ServerOptions o;
    std::string error;
    EXPECT_FALSE(ParseServerOptions(c.args, &o, &error)) << c.message;
    EXPECT_EQ(error, c.message);
  }
}

TEST(ScpiOptions, AllowedNetworks) {
  struct Case {
    std::string network, client;
    bool allowed;
  };
  const Case cases[] = {
      {"192.168.1.0/24", "192.168.1.77", true},
      {"192.168.1.0/24", "192.168.2.1", false},
      {"192.168.1.0/24", "::ffff:192.168.1.9", true},
      {"10.0.0.7", "10.0.0.7", true},
      {"10.0.0.7", "10.0.0.8", false},
      {"10.0.0.0/9", "10.127.255.255", true},
      {"10.0.0.0/9", "10.128.0.0", false},
      {"0.0.0.0/0", "8.8.8.8", true},
      {"fe80::/10", "fe80::1", true},
      {"fe80::/10", "fec0::1", false},
      {"::1/128", "127.0.0.1", false},
  };
  for (const Case& c : cases) {
    ServerOptions o;
    std::string error;
    ASSERT_TRUE(ParseServerOptions({"--allow", c.network}, &o, &error)) << error;
    EXPECT_EQ(Allowed(o.allow, asio::ip::make_address(c.client)), c.allowed)
        << c.network << " " << c.client;
  }
  EXPECT_TRUE(Allowed({}, asio::ip::make_address("203.0.113.5")));
}

// Feeds the pieces and returns the items, an overrun as "<overrun>".
std::vector<std::string> Split(const std::vector<std::string>& pieces) {
  LineSplitter splitter;
  std::vector<LineSplitter::Item> items;
  for (const auto& p : pieces) splitter.Feed(p, &items);
  std::vector<std::string> out;
  for (const auto& item : items) {
    out.push_back(item.kind == LineSplitter::Item::kOverrun ? "<overrun>" : item.text);
  }
  return out;
}

TEST(ScpiLines, TerminatorsPiecesAndTheLimit) {
  using V = std::vector<std::string>;
  const std::size_t max = LineSplitter::kMaxLine;
  const std::string full(max, 'a');
  EXPECT_EQ(Split({"*IDN?\n", "FREQ?\r\n"}), (V{"*IDN?", "FREQ?"}));
  EXPECT_EQ(Split({"*ID", "N?\r", "\nREAD?"}), (V{"*IDN?"}));
  EXPECT_EQ(Split({"\n\r\n"}), (V{"", ""}));
  EXPECT_EQ(Split({"a\rb\n"}), (V{"a\rb"}));
  // Exactly the limit is a line, with LF or CR LF; one byte more is not.
  EXPECT_EQ(Split({full + "\n"}), (V{full}));
  EXPECT_EQ(Split({full, "\r", "\n"}), (V{full}));
  EXPECT_EQ(Split({full + "b\nX\n"}), (V{"<overrun>", "X"}));
  EXPECT_EQ(Split({full, "bc", std::string(200000, 'd'), "\r\nX\n"}), (V{"<overrun>", "X"}));
}

TEST(ScpiLines, AnOverlongLineHoldsNoMoreThanTheLimit) {
  LineSplitter splitter;
  std::vector<LineSplitter::Item> items;
  for (int i = 0; i < 100; ++i) splitter.Feed(std::string(16384, 'x'), &items);
  EXPECT_EQ(items.size(), 1u);
  EXPECT_LE(splitter.Partial(), LineSplitter::kMaxLine + 1);
}

}  // namespace
}  // namespace kolvane::server
