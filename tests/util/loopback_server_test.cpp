// The loopback servers that the network tests of every folder start.

#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace stratlyn::testing {
namespace {

// Sends `request` to 127.0.0.1:port and returns everything the server sends
// back until it closes (or `max` bytes arrived).
std::string Exchange(int port, const std::string& request, size_t max = 1 << 20) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return {};
  timeval tv{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    if (!request.empty()) (void)!::write(fd, request.data(), request.size());
    char buf[4096];
    ssize_t n;
    while (reply.size() < max && (n = ::read(fd, buf, sizeof buf)) > 0) {
      reply.append(buf, static_cast<size_t>(n));
    }
  }
  ::close(fd);
  return reply;
}

std::string Get(int port, const std::string& path) {
  return Exchange(port, "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
}

TEST(LoopbackServer, HttpServesFilesQueryKeyedPagesAndFaultPaths) {
  ScratchDir dir;
  ASSERT_FALSE(dir.Path().empty());
  dir.Write("plain.txt", "hello");
  dir.Write("q/quote.aspx", "<html>no ticker</html>");
  dir.Write("q/quote.aspx?ticker=IBM", "<html>IBM 131.25</html>");

  LoopbackHttpServer http(dir.Path());
  ASSERT_TRUE(http.Ok()) << http.Error();
  EXPECT_EQ(http.BaseUrl(), "http://127.0.0.1:" + std::to_string(http.Port()));

  std::string r = Get(http.Port(), "/plain.txt");
  EXPECT_NE(r.find("200"), std::string::npos);
  EXPECT_EQ(r.substr(r.size() - 5), "hello");

  r = Get(http.Port(), "/q/quote.aspx?ticker=IBM");
  EXPECT_NE(r.find("IBM 131.25"), std::string::npos);
  EXPECT_NE(r.find("text/html"), std::string::npos);
  EXPECT_NE(Get(http.Port(), "/q/quote.aspx?ticker=XYZ").find("no ticker"), std::string::npos);

  r = Get(http.Port(), "/_slow/5/plain.txt");
  EXPECT_EQ(r.substr(r.size() - 5), "hello");
  EXPECT_NE(Get(http.Port(), "/_echo").find("Host: 127.0.0.1"), std::string::npos);

  EXPECT_EQ(Get(http.Port(), "/missing.txt").rfind("HTTP/1.0 404", 0), 0u);
  EXPECT_EQ(Get(http.Port(), "/_status/503").rfind("HTTP/1.0 503", 0), 0u);
  r = Get(http.Port(), "/_redirect/q/quote.aspx?ticker=IBM");
  EXPECT_EQ(r.rfind("HTTP/1.0 302", 0), 0u);
  EXPECT_NE(r.find("Location: /q/quote.aspx?ticker=IBM"), std::string::npos);
  // Nothing outside the folder is served.
  EXPECT_EQ(Get(http.Port(), "/../../etc/passwd").rfind("HTTP/1.0 404", 0), 0u);

  r = Get(http.Port(), "/_bytes/300");
  const std::string body = r.substr(r.find("\r\n\r\n") + 4);
  ASSERT_EQ(body.size(), 300u);
  EXPECT_EQ(static_cast<unsigned char>(body[0]), 0);
  EXPECT_EQ(static_cast<unsigned char>(body[255]), 255);
  EXPECT_EQ(static_cast<unsigned char>(body[256]), 0);
}

TEST(LoopbackServer, FtpGreetsAndStopEndsTheChild) {
  ScratchDir dir;
  dir.Write("file.bin", "abc");
  LoopbackFtpServer ftp(dir.Path(), "user", "secret");
  ASSERT_TRUE(ftp.Ok()) << ftp.Error();
  EXPECT_EQ(ftp.BaseUrl().rfind("ftp://127.0.0.1:", 0), 0u);
  const pid_t pid = ftp.Pid();
  // The greeting arrives unasked; read just the first line.
  EXPECT_EQ(Exchange(ftp.Port(), "QUIT\r\n", 3).substr(0, 3), "220");
  ftp.Stop();
  EXPECT_FALSE(ftp.Ok());
  EXPECT_NE(::kill(pid, 0), 0);  // reaped: no such process any more
}

}  // namespace
}  // namespace stratlyn::testing
