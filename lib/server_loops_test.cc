#include "lib/server_loops.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "lib/frame.h"
#include "platform/netapi/netapi_test_network.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

// Each call as "DOMAIN \\SERVER".
DWORD record(const WCHAR* domain, const WCHAR* server, void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back(utf8(domain) + " " + utf8(server));
  return 5;  // a failing tool callback: the loops go on regardless
}

std::string joined(const std::vector<std::string>& calls) {
  std::string out;
  for (const std::string& c : calls) out += (out.empty() ? "" : "|") + c;
  return out;
}

class LoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    net_.env().set("SERVERLIST", nullptr);
    verbose = false;
  }
  void TearDown() override { verbose = false; }

  // Runs `loop`, keeping its calls, output and errors.
  template <typename Loop>
  DWORD run(Loop loop) {
    calls_.clear();
    CaptureStdout();
    CaptureStderr();
    DWORD result = loop(&calls_);
    fflush(stdout);
    out_ = GetCapturedStdout();
    err_ = GetCapturedStderr();
    return result;
  }

  DWORD servers(const char* domain, const char* pattern) {
    return run([&](void* c) { return server_loop(domain, pattern, record, c); });
  }
  DWORD domains(const char* domain, const char* pattern) {
    return run([&](void* c) { return domain_loop(domain, pattern, record, c); });
  }

  std::string write_list(const std::string& text) {
    std::string name = net_.root() + "/servers.lst";
    FILE* f = fopen(name.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (f) {
      fwrite(text.data(), 1, text.size(), f);
      fclose(f);
    }
    return name;
  }

  TestNetwork net_;
  std::vector<std::string> calls_;
  std::string out_, err_;
};

TEST_F(LoopTest, NamedServerIsCalledOnceWithoutAsking) {
  verbose = true;
  EXPECT_EQ(servers("SALES", "SRV1"), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\SRV1");
  EXPECT_EQ(out_, "");
  // Neither an unknown nor an offline server is looked up first.
  EXPECT_EQ(servers("SALES", "nosuch"), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\nosuch");
  EXPECT_EQ(servers("", "WS9"), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\WS9");  // the workstation's own domain
  // No pattern: the local computer.
  EXPECT_EQ(servers("", ""), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\LOCALPC");
  EXPECT_EQ(servers(nullptr, nullptr), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\LOCALPC");
  // Names handed on have at most 23 characters.
  EXPECT_EQ(servers("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz"), 0u);
  EXPECT_EQ(joined(calls_), "ABCDEFGHIJKLMNOPQRSTUVW \\\\abcdefghijklmnopqrstuvw");
  EXPECT_EQ(err_, "");
}

TEST_F(LoopTest, WildcardPatternAsksTheBrowser) {
  EXPECT_EQ(servers("SALES", "SRV*"), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\SRV1|SALES \\\\SRV2");
  EXPECT_EQ(out_, "");  // not verbose

  verbose = true;
  EXPECT_EQ(servers("", "s?v*"), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\SRV1|SALES \\\\SRV2");
  EXPECT_EQ(out_,
            "SERVERLOOP-INFO, server 'SRV1' (2 of 3 in SALES)\n"
            "SERVERLOOP-INFO, server 'SRV2' (3 of 3 in SALES)\n");
  // Offline machines are not on the list.
  EXPECT_EQ(servers("sales", "*"), 0u);  // the domain is handed on as given
  EXPECT_EQ(joined(calls_), "sales \\\\LOCALPC|sales \\\\SRV1|sales \\\\SRV2");
  net_.set_online("WS9", true);
  EXPECT_EQ(servers("SALES", "W*"), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\WS9");
  EXPECT_EQ(servers("OFFICE", "*"), 0u);
  EXPECT_EQ(joined(calls_), "OFFICE \\\\HQ1|OFFICE \\\\HQ2");
  EXPECT_EQ(servers("OFFICE", "X*"), 0u);
  EXPECT_EQ(joined(calls_), "");
  EXPECT_EQ(err_, "");

  // A domain the browser does not know.
  EXPECT_EQ(servers("NOWHERE", "*"), ERROR_NO_BROWSER_SERVERS_FOUND);
  EXPECT_EQ(joined(calls_), "");
  EXPECT_EQ(err_, "SERVERLOOP-ERROR, NetServerEnum(NOWHERE) failed, error=6118\n");
}

TEST_F(LoopTest, DomainLoopVisitsMatchingDomains) {
  verbose = true;
  EXPECT_EQ(domains("*", "*"), 0u);
  EXPECT_EQ(joined(calls_),
            "OFFICE \\\\HQ1|OFFICE \\\\HQ2|SALES \\\\LOCALPC|SALES \\\\SRV1|SALES \\\\SRV2");
  EXPECT_EQ(out_,
            "DOMAINLOOP-INFO, domain 'OFFICE' (1 of 2)\n"
            "SERVERLOOP-INFO, server 'HQ1' (1 of 2 in OFFICE)\n"
            "SERVERLOOP-INFO, server 'HQ2' (2 of 2 in OFFICE)\n"
            "DOMAINLOOP-INFO, domain 'SALES' (2 of 2)\n"
            "SERVERLOOP-INFO, server 'LOCALPC' (1 of 3 in SALES)\n"
            "SERVERLOOP-INFO, server 'SRV1' (2 of 3 in SALES)\n"
            "SERVERLOOP-INFO, server 'SRV2' (3 of 3 in SALES)\n");
  verbose = false;
  EXPECT_EQ(domains("s*", "*2"), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\SRV2");
  // A named server in every matching domain.
  EXPECT_EQ(domains("*", "HQ1"), 0u);
  EXPECT_EQ(joined(calls_), "OFFICE \\\\HQ1|SALES \\\\HQ1");
  // Without wildcards in the domain: that domain only.
  EXPECT_EQ(domains("OFFICE", "*"), 0u);
  EXPECT_EQ(joined(calls_), "OFFICE \\\\HQ1|OFFICE \\\\HQ2");
  EXPECT_EQ(domains("", ""), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\LOCALPC");
  EXPECT_EQ(domains("G*", "*"), 0u);  // GHOST has no machine online
  EXPECT_EQ(joined(calls_), "");
  EXPECT_EQ(domains("NOWHERE", "*"), ERROR_NO_BROWSER_SERVERS_FOUND);
  EXPECT_EQ(err_, "SERVERLOOP-ERROR, NetServerEnum(NOWHERE) failed, error=6118\n");
}

TEST_F(LoopTest, StaticListReplacesTheBrowser) {
  std::string list = write_list("SALES\\\\SRV1\nSALES\\\\SRV2\r\nOFFICE\\\\HQ9\nSALES\\\\WS9");
  net_.env().set("SERVERLIST", list.c_str());
  verbose = true;
  EXPECT_EQ(domains("SALES", "SRV2*"), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\SRV2");
  EXPECT_EQ(out_,
            "LISTLOOP-INFO, using static list '" + list + "'\n"
            "LISTLOOP-INFO, trying SALES\\\\SRV1...does not match\n"
            "LISTLOOP-INFO, trying SALES\\\\SRV2...match\n"
            "LISTLOOP-INFO, trying OFFICE\\\\HQ9...does not match\n"
            "LISTLOOP-INFO, trying SALES\\\\WS9...does not match\n");
  verbose = false;
  // Servers of the list are called whether the browser knows them or not.
  EXPECT_EQ(domains("*", "*"), 0u);
  EXPECT_EQ(joined(calls_),
            "SALES \\\\SRV1|SALES \\\\SRV2|OFFICE \\\\HQ9|SALES \\\\WS9");
  EXPECT_EQ(out_, "");
  EXPECT_EQ(servers("", "*9"), 0u);  // the workstation's domain, SALES
  EXPECT_EQ(joined(calls_), "SALES \\\\WS9");
  EXPECT_EQ(domains("office", "h*"), 0u);
  EXPECT_EQ(joined(calls_), "OFFICE \\\\HQ9");
  // A named server does not need the list.
  EXPECT_EQ(domains("SALES", "HQ1"), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\HQ1");
  EXPECT_EQ(err_, "");

  // An empty value is no list.
  net_.env().set("SERVERLIST", "");
  EXPECT_EQ(domains("SALES", "SRV*"), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\SRV1|SALES \\\\SRV2");
}

TEST_F(LoopTest, StaticListThatCannotBeOpened) {
  std::string missing = net_.root() + "/missing.lst";
  net_.env().set("SERVERLIST", missing.c_str());
  verbose = true;
  EXPECT_EQ(domains("SALES", "SRV*"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(joined(calls_), "");
  EXPECT_EQ(out_, "");
  EXPECT_EQ(err_, "LISTLOOP-ERROR, cannot open '" + missing + "', error=2\n");
  EXPECT_EQ(domains("*", "*"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(err_, "LISTLOOP-ERROR, cannot open '" + missing + "', error=2\n");
  net_.env().set("SERVERLIST", (net_.root() + "/no/dir/list").c_str());
  EXPECT_EQ(domains("*", "*"), ERROR_PATH_NOT_FOUND);
  // A name beyond 259 characters is cut there.
  std::string long_name = net_.root() + "/" + std::string(300, 'L');
  net_.env().set("SERVERLIST", long_name.c_str());
  EXPECT_NE(domains("*", "*"), 0u);
  EXPECT_EQ(err_, "LISTLOOP-ERROR, cannot open '" + long_name.substr(0, 259) + "', error=2\n");
  // A directory is no list.
  EXPECT_FALSE(run([&](void* c) { return list_loop(net_.root().c_str(), "A", "*", record, c); }));
  EXPECT_EQ(err_, "LISTLOOP-ERROR, cannot open '" + net_.root() + "', error=5\n");
}

TEST_F(LoopTest, StaticListLinesPiecesAndEmptyFile) {
  verbose = true;
  // A line ends at its first control character; long lines come in pieces
  // of 254 characters; the empty piece after a line of exactly 254 is tried.
  std::string first = "SALES\\\\" + std::string(247, 'A');  // 254 characters
  std::string longer = "SALES\\\\" + std::string(300, 'B');
  std::string list =
      write_list("SALES\\\\SRV1\tcomment\n" + first + "\n" + longer + "\nSALES\\\\X\x01Y\n");
  EXPECT_TRUE(run([&](void* c) { return list_loop(list.c_str(), "SALES", "*", record, c); }));
  EXPECT_EQ(joined(calls_), "SALES \\\\SRV1|SALES \\\\" + std::string(23, 'A') + "|SALES \\\\" +
                                std::string(23, 'B') + "|SALES \\\\X");
  EXPECT_EQ(out_,
            "LISTLOOP-INFO, using static list '" + list + "'\n"
            "LISTLOOP-INFO, trying SALES\\\\SRV1...match\n"
            "LISTLOOP-INFO, trying " + first + "...match\n"
            "LISTLOOP-INFO, trying ...does not match\n"
            "LISTLOOP-INFO, trying SALES\\\\" + std::string(247, 'B') + "...match\n"
            "LISTLOOP-INFO, trying " + std::string(53, 'B') + "...does not match\n"
            "LISTLOOP-INFO, trying SALES\\\\X...match\n");

  std::string empty = write_list("");
  EXPECT_TRUE(run([&](void* c) { return list_loop(empty.c_str(), "SALES", "*", record, c); }));
  EXPECT_EQ(joined(calls_), "");
  EXPECT_EQ(out_, "LISTLOOP-INFO, using static list '" + empty + "'\n");
}

}  // namespace
