#include "testing/LocalTLSServer.hpp"

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <chrono>

namespace ostrel::testing {
namespace {

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateFree {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Certificate = std::unique_ptr<X509, CertificateFree>;

bool addExtension(X509* certificate, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  if (!extension) return false;
  const bool added = X509_add_ext(certificate, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

Certificate selfSigned(EVP_PKEY* key) {
  Certificate certificate(X509_new());
  if (!certificate) return nullptr;
  X509* c = certificate.get();
  X509_set_version(c, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(c), 1);
  X509_gmtime_adj(X509_getm_notBefore(c), -60);
  X509_gmtime_adj(X509_getm_notAfter(c), 3600);
  X509_set_pubkey(c, key);
  X509_NAME* name = X509_get_subject_name(c);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  X509_set_issuer_name(c, name);
  if (!addExtension(c, NID_basic_constraints, "critical,CA:TRUE") ||
      !addExtension(c, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost") ||
      X509_sign(c, key, EVP_sha256()) == 0) {
    return nullptr;
  }
  return certificate;
}

std::string pem(X509* certificate) {
  BIO* bio = BIO_new(BIO_s_mem());
  if (!bio) return "";
  std::string text;
  if (PEM_write_bio_X509(bio, certificate) == 1) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    if (size > 0) text.assign(data, static_cast<std::size_t>(size));
  }
  BIO_free(bio);
  return text;
}

}  // namespace

LocalTLSServer::LocalTLSServer() {
  Key key(EVP_EC_gen("P-256"));
  Certificate certificate = key ? selfSigned(key.get()) : nullptr;
  if (certificate) {
    certificatePEM_ = pem(certificate.get());
    // The server's context takes its own references to both.
    server_ = std::make_unique<httplib::SSLServer>(certificate.get(), key.get());
  }
  if (!server_ || !server_->is_valid()) {
    certificatePEM_.clear();
    server_ = std::make_unique<httplib::Server>();  // routes can still be added; start fails
  }
}

LocalTLSServer::~LocalTLSServer() {
  stop();
}

httplib::Server& LocalTLSServer::server() {
  return *server_;
}

bool LocalTLSServer::start() {
  if (certificatePEM_.empty() || thread_.joinable()) return false;
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) return false;
  auto ended = std::make_shared<std::atomic<bool>>(false);
  thread_ = std::thread([this, ended] {
    server_->listen_after_bind();
    *ended = true;
  });
  // This version of the server has no readiness signal: wait for its loop to run.
  while (!server_->is_running() && !*ended) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return server_->is_running();
}

void LocalTLSServer::stop() {
  if (!thread_.joinable()) return;
  server_->stop();
  thread_.join();
}

std::string LocalTLSServer::baseUrl() const {
  return "https://127.0.0.1:" + std::to_string(port_);
}

}  // namespace ostrel::testing
