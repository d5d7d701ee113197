// assistant-server: a reference assistant server. It answers the sealed
// version request with a sealed JSON object, and serves the files of a
// release folder, over HTTP or HTTPS (with a self-signed certificate it makes
// itself).
#include <fcntl.h>
#include <httplib.h>
#include <json/json.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>

#include "channel/envelope_codec.h"
#include "tools/key_folder.h"

namespace {

struct Options {
  int port = 8080;
  std::string bind = "127.0.0.1";
  bool https = false;
  bool expiredCert = false;
  std::string certName = "localhost";
  std::string version = "1.0.0.1";
  int update = 0;
  std::string url;
  std::string plainAnswer;
  std::string root;
  std::string keys;
  long long rate = 0;  // bytes per second of each file body; 0: no limit
};

// The downloader asks for gzip but never decodes, and the server library
// compresses every text type it is allowed to; every answer therefore goes
// out with a type the library leaves alone.
constexpr const char* kPlainType = "application/octet-stream";

httplib::Server* running = nullptr;

void StopOnSignal(int) {
  if (running) running->stop();
}

// A self-signed certificate; an expired one when asked, for client tests.
bool MakeCertificate(const Options& o, X509** certOut, EVP_PKEY** keyOut) {
  EVP_PKEY* key = EVP_RSA_gen(2048);
  X509* cert = X509_new();
  if (!key || !cert) return false;
  ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
  const long day = 24L * 3600;
  X509_gmtime_adj(X509_getm_notBefore(cert), o.expiredCert ? -30 * day : -day);
  X509_gmtime_adj(X509_getm_notAfter(cert), o.expiredCert ? -day : 365 * day);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(o.certName.c_str()), -1, -1, 0);
  X509_set_issuer_name(cert, name);
  X509_set_pubkey(cert, key);
  if (!X509_sign(cert, key, EVP_sha256())) return false;
  *certOut = cert;
  *keyOut = key;
  return true;
}

std::string Shorten(const std::string& text) {
  return text.size() > 48 ? text.substr(0, 40) + "...(" + std::to_string(text.size()) + ")" : text;
}

void ServeFile(const std::string& root, long long rate, const httplib::Request& req,
               httplib::Response& res) {
  const std::string& path = req.path;
  // Nothing outside the release folder is served.
  if (path.empty() || path[0] != '/' || path.find("/../") != std::string::npos ||
      (path.size() >= 3 && path.compare(path.size() - 3, 3, "/..") == 0) ||
      path.find('\0') != std::string::npos) {
    res.status = 404;
    res.set_content("not found\n", kPlainType);
    return;
  }
  std::string file = root + path;
  int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) close(fd);
    res.status = 404;
    res.set_content("not found\n", kPlainType);
    return;
  }
  // Said before the body goes out, so a test can act while it is on the way.
  std::printf("sending %s\n", path.c_str());
  std::fflush(stdout);
  // Streamed from the file, so a large component never sits in memory; with
  // a rate, paced in pieces of a tenth of a second.
  res.set_content_provider(
      static_cast<size_t>(st.st_size), kPlainType,
      [fd, rate](size_t offset, size_t length, httplib::DataSink& sink) {
        char buffer[65536];
        size_t n = std::min(length, sizeof buffer);
        if (rate > 0) {
          n = std::min(n, static_cast<size_t>(std::max(1LL, rate / 10)));
          usleep(static_cast<useconds_t>(n * 1000000 / static_cast<size_t>(rate)));
        }
        ssize_t got = pread(fd, buffer, n, static_cast<off_t>(offset));
        if (got <= 0) return false;
        return sink.write(buffer, static_cast<size_t>(got));
      },
      [fd](bool) { close(fd); });
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  CLI::App app{"Reference assistant server: version service and release files"};
  app.add_option("--port", o.port, "Port to listen on; 0 picks a free one")
      ->check(CLI::Range(0, 65535));
  app.add_option("--bind", o.bind, "Address to listen on");
  app.add_flag("--https", o.https, "Serve HTTPS with a self-signed certificate");
  app.add_flag("--expired-cert", o.expiredCert, "Make the self-signed certificate expired");
  app.add_option("--cert-name", o.certName, "Common name of the certificate");
  app.add_option("--version", o.version, "Answer member \"v\"");
  app.add_option("--update", o.update, "Answer member \"update\"")->check(CLI::Range(0, 2));
  app.add_option("--url", o.url,
                 "Answer member \"url\"; PORT in it is replaced by the listening port");
  app.add_option("--plain-answer", o.plainAnswer,
                 "Seal this text instead of the JSON answer (for client tests)");
  app.add_option("--root", o.root, "Release folder whose files are served")
      ->check(CLI::ExistingDirectory);
  app.add_option("--rate", o.rate, "Bytes per second of each served file (0: no limit)")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--keys", o.keys, "Key folder (default: the compiled-in keys)")
      ->check(CLI::ExistingDirectory);
  CLI11_PARSE(app, argc, argv);

  EnvelopeKey key;
  std::string error;
  if (!LoadEnvelopeKey(o.keys, &key, &error)) {
    std::cerr << "assistant-server: " << error << "\n";
    return 2;
  }

  std::unique_ptr<httplib::Server> server;
  if (o.https) {
    X509* cert = nullptr;
    EVP_PKEY* pkey = nullptr;
    if (!MakeCertificate(o, &cert, &pkey)) {
      std::cerr << "assistant-server: cannot make a certificate\n";
      return 2;
    }
    server = std::make_unique<httplib::SSLServer>(cert, pkey);
    X509_free(cert);
    EVP_PKEY_free(pkey);
  } else {
    server = std::make_unique<httplib::Server>();
  }
  if (!server->is_valid()) {
    std::cerr << "assistant-server: server cannot be set up\n";
    return 2;
  }

  int port = o.port;
  server->Get("/assist/server", [&](const httplib::Request& req, httplib::Response& res) {
    std::string sealed = req.get_param_value("data");
    std::string plain;
    if (req.get_param_value("reqtype") != "1" ||
        !EnvelopeCodec::Open(sealed.data(), sealed.size(), &plain, key)) {
      res.status = 400;
      res.set_content("request cannot be opened\n", kPlainType);
      return;
    }
    std::string answer = o.plainAnswer;
    if (answer.empty()) {
      std::string url = o.url;
      for (size_t at; (at = url.find("PORT")) != std::string::npos;)
        url.replace(at, 4, std::to_string(port));
      Json::Value root(Json::objectValue);
      root["v"] = o.version;
      root["url"] = url;
      root["update"] = std::to_string(o.update);
      Json::StreamWriterBuilder writer;
      writer["indentation"] = "";
      answer = Json::writeString(writer, root);
    }
    std::string reply;
    if (EnvelopeCodec::Seal(answer, &reply, key) != 0) {
      res.status = 500;
      res.set_content("answer cannot be sealed\n", kPlainType);
      return;
    }
    res.set_content(reply, kPlainType);
    std::printf("version request for bank %s\n", plain.c_str());
    std::fflush(stdout);
  });
  if (!o.root.empty()) {
    server->Get(".*", [&](const httplib::Request& req, httplib::Response& res) {
      ServeFile(o.root, o.rate, req, res);
    });
  }
  server->set_logger([](const httplib::Request& req, const httplib::Response& res) {
    std::string query;
    for (const auto& [k, v] : req.params)
      query += (query.empty() ? "?" : "&") + k + "=" + Shorten(v);
    std::printf("%s %s%s -> %d\n", req.method.c_str(), req.path.c_str(), query.c_str(), res.status);
    std::fflush(stdout);
  });

  if (port == 0) {
    port = server->bind_to_any_port(o.bind);
  } else if (!server->bind_to_port(o.bind, port)) {
    port = -1;
  }
  if (port <= 0) {
    std::cerr << "assistant-server: cannot listen on " << o.bind << ":" << o.port << "\n";
    return 2;
  }
  std::printf("port %d\n", port);
  std::fflush(stdout);
  running = server.get();
  std::signal(SIGINT, StopOnSignal);
  std::signal(SIGTERM, StopOnSignal);
  server->listen_after_bind();
  return 0;
}
