// The ONC RPC codec under VXI-11 and the portmapper: record marking, calls
// that are no calls, arguments that do not decode, the portmapper's answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rpc/message.h"
#include "rpc/vxi11.h"

namespace kolvane::rpc {
namespace {

std::string Header(std::uint32_t length, bool last) {
  return XdrWriter().U32(length | (last ? 0x80000000u : 0)).Take();
}

TEST(RecordReader, FragmentsJoinAndRecordsFollowEachOther) {
  RecordReader r;
  std::string record;
  const std::string bytes = Header(3, false) + "abc" + Header(2, true) + "de" + Header(0, true);
  // Byte by byte, as TCP may deliver them.
  std::vector<std::string> got;
  for (char ch : bytes) {
    auto status = r.Feed(std::string_view(&ch, 1), &record);
    while (status == RecordReader::Status::kRecord) {
      got.push_back(record);
      status = r.Feed({}, &record);
    }
    ASSERT_NE(status, RecordReader::Status::kTooLong);
  }
  EXPECT_EQ(got, (std::vector<std::string>{"abcde", ""}));
}

TEST(RecordReader, ARecordOver64KiBIsRefusedFromItsHeaders) {
  struct Case {
    const char* name;
    std::string bytes;
    RecordReader::Status expected;
  };
  const std::vector<Case> cases = {
      {"exactly 64 KiB", Header(kMaxRecord, true) + std::string(kMaxRecord, 'x'),
       RecordReader::Status::kRecord},
      {"one byte over in one fragment", Header(kMaxRecord + 1, true),
       RecordReader::Status::kTooLong},
      {"over across fragments",
       Header(kMaxRecord, false) + std::string(kMaxRecord, 'x') + Header(1, true),
       RecordReader::Status::kTooLong},
      {"the largest length", Header(0x7FFFFFFF, true), RecordReader::Status::kTooLong},
      {"a header cut short", std::string("\x80\x00", 2), RecordReader::Status::kMore},
  };
  for (const Case& c : cases) {
    RecordReader r;
    std::string record;
    EXPECT_EQ(r.Feed(c.bytes, &record), c.expected) << c.name;
  }
}

TEST(ParseCall, RefusesWhatIsNoVersion2Call) {
  const std::string good = CallMessage(7, kCoreProgram, 1, 10, "args");
  struct Case {
    const char* name;
    std::string bytes;
    bool call;
  };
  std::string reply = good;
  reply[7] = 1;  // msg_type REPLY
  std::string version3 = good;
  version3[11] = 3;
  std::string longAuth = good;
  longAuth[31] = static_cast<char>(0xFF);  // credential length 255 is fine...
  longAuth[30] = 0x02;                     // ...but 0x2FF passes the 400 bytes
  const std::vector<Case> cases = {
      {"a call", good, true},
      {"empty", "", false},
      {"text", "*IDN?\n", false},
      {"a reply", reply, false},
      {"RPC version 3", version3, false},
      {"cut in the verifier", good.substr(0, 36), false},
      {"credential over 400 bytes", longAuth, false},
  };
  for (const Case& c : cases) {
    const auto call = ParseCall(c.bytes);
    EXPECT_EQ(call.has_value(), c.call) << c.name;
    if (call) {
      EXPECT_EQ(call->xid, 7u);
      EXPECT_EQ(call->program, kCoreProgram);
      EXPECT_EQ(call->procedure, 10u);
      EXPECT_EQ(call->args, "args");
    }
  }
}

TEST(Vxi11Args, GarbageDoesNotDecode) {
  const std::string link = XdrWriter().I32(5).Take();
  const std::string createLink = XdrWriter().I32(1).Bool(false).U32(1000).Opaque("inst0").Take();
  EXPECT_EQ(DecodeCreateLink(createLink)->device, "inst0");
  EXPECT_EQ(DecodeLink(link), 5);
  struct Case {
    const char* name;
    bool decodes;
  };
  std::string badBool = createLink;
  badBool[7] = 2;
  const std::vector<Case> cases = {
      {"create_link cut short",
       DecodeCreateLink(createLink.substr(0, createLink.size() - 4)).has_value()},
      {"create_link with a bool of 2", DecodeCreateLink(badBool).has_value()},
      {"create_link with bytes left over", DecodeCreateLink(createLink + link).has_value()},
      {"a link with bytes left over", DecodeLink(link + link).has_value()},
      {"write whose data passes the record",
       DecodeWrite(XdrWriter().I32(1).U32(0).U32(0).U32(8).U32(0x7FFFFFFF).Take()).has_value()},
      {"read without its term char",
       DecodeRead(XdrWriter().I32(1).U32(10).U32(0).U32(0).U32(0).Take()).has_value()},
      {"generic parms of three words",
       DecodeGeneric(XdrWriter().I32(1).U32(0).U32(0).Take()).has_value()},
      {"enable_srq with a handle over 40 bytes",
       DecodeUnsupported(CoreProc::kEnableSrq,
                         XdrWriter().I32(1).Bool(true).Opaque(std::string(41, 'h')).Take())},
  };
  for (const Case& c : cases) EXPECT_FALSE(c.decodes) << c.name;
  const auto read =
      DecodeRead(XdrWriter().I32(1).U32(10).U32(2).U32(3).U32(kTermCharSet).U32('\n').Take());
  ASSERT_TRUE(read);
  EXPECT_EQ(read->termChar, '\n');
  EXPECT_EQ(read->flags, kTermCharSet);
}

TEST(Portmap, AnswersGetPortForTheCoreChannelOnly) {
  struct Case {
    const char* name;
    std::string call;
    bool replies;
    AcceptStat stat;
    std::string results;
  };
  const auto port = [](std::uint32_t p) { return XdrWriter().U32(p).Take(); };
  const std::vector<Case> cases = {
      {"NULL", CallMessage(1, kPortmapProgram, 2, kPortmapNull, ""), true, AcceptStat::kSuccess,
       ""},
      {"GETPORT core/TCP",
       CallMessage(2, kPortmapProgram, 2, kPortmapGetPort,
                   GetPortArgs(kCoreProgram, 1, kProtocolTcp)),
       true, AcceptStat::kSuccess, port(1024)},
      {"GETPORT core/UDP",
       CallMessage(3, kPortmapProgram, 2, kPortmapGetPort,
                   GetPortArgs(kCoreProgram, 1, kProtocolUdp)),
       true, AcceptStat::kSuccess, port(0)},
      {"GETPORT abort channel",
       CallMessage(4, kPortmapProgram, 2, kPortmapGetPort,
                   GetPortArgs(kAbortProgram, 1, kProtocolTcp)),
       true, AcceptStat::kSuccess, port(0)},
      {"GETPORT NFS",
       CallMessage(5, kPortmapProgram, 2, kPortmapGetPort, GetPortArgs(100003, 3, 6)), true,
       AcceptStat::kSuccess, port(0)},
      {"GETPORT cut short", CallMessage(6, kPortmapProgram, 2, kPortmapGetPort, "\0\0\0\1"), true,
       AcceptStat::kGarbageArgs, ""},
      {"DUMP", CallMessage(7, kPortmapProgram, 2, 4, ""), true, AcceptStat::kProcUnavail, ""},
      {"other program", CallMessage(9, 100003, 2, 0, ""), true, AcceptStat::kProgUnavail, ""},
      {"not a call", "hello", false, AcceptStat::kSuccess, ""},
  };
  for (const Case& c : cases) {
    const PortmapAnswer a = Portmap(c.call, 1024);
    ASSERT_EQ(a.reply.has_value(), c.replies) << c.name;
    if (!a.reply) continue;
    const auto reply = ParseReply(*a.reply);
    ASSERT_TRUE(reply) << c.name;
    EXPECT_EQ(reply->stat, c.stat) << c.name;
    EXPECT_EQ(reply->results, c.results) << c.name;
  }
  // rpcbind's versions 3 and 4 get PROG_MISMATCH (2, 2), so that libtirpc
  // falls back to version 2.
  const PortmapAnswer v4 = Portmap(CallMessage(8, kPortmapProgram, 4, 9, ""), 1024);
  const auto reply = ParseReply(*v4.reply);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->stat, AcceptStat::kProgMismatch);
  EXPECT_EQ(reply->results, XdrWriter().U32(2).U32(2).Take());
}

TEST(CheckProgram, WrongProgramOrVersionIsRefused) {
  EXPECT_FALSE(CheckProgram(*ParseCall(CallMessage(1, kCoreProgram, 1, 10, "")), kCoreProgram));
  const auto wrongVersion =
      CheckProgram(*ParseCall(CallMessage(1, kCoreProgram, 2, 10, "")), kCoreProgram);
  ASSERT_TRUE(wrongVersion);
  EXPECT_EQ(ParseReply(*wrongVersion)->stat, AcceptStat::kProgMismatch);
  const auto wrongProgram =
      CheckProgram(*ParseCall(CallMessage(1, kAbortProgram, 1, 1, "")), kCoreProgram);
  ASSERT_TRUE(wrongProgram);
  EXPECT_EQ(ParseReply(*wrongProgram)->stat, AcceptStat::kProgUnavail);
}

}  // namespace
}  // namespace kolvane::rpc
