#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "nfc/ChipBytes.hpp"
#include "nfc/DataGroupId.hpp"

namespace ostrel {

// Base of every data group: the whole file as read, the bytes after its outer tag and length,
// and a TLV cursor the parsing subclasses walk with. Every step of the cursor is bounds-checked:
// a tag, length or value that would run past the end of the file throws instead.
class DataGroup {
 public:
  virtual ~DataGroup() = default;

  DataGroupId datagroupType() const { return datagroupType_; }
  const Bytes& body() const { return body_; }
  const Bytes& data() const { return data_; }
  int pos() const { return pos_; }

  // Builds a group of class T from a whole file: base set-up, then T's `parse`, then its type.
  template <class T>
  static std::shared_ptr<T> create(const Bytes& data) {
    auto group = std::make_shared<T>();
    group->initialise(data);
    return group;
  }

  // Throws `TagNotValid` at the end of the data.
  int getNextTag();
  // Throws `CannotDecodeASN1Length`; the cursor stays put on failure.
  int getNextLength();
  // The next `length` bytes; throws `InvalidResponse` when they run past the end.
  Bytes getNextValue(int length);

 protected:
  DataGroup() = default;
  virtual void parse(const Bytes& data);
  // The type a group of this class reports once built.
  virtual DataGroupId ownType() const { return DataGroupId::Unknown; }
  virtual void didInitialise() {}

 private:
  void initialise(const Bytes& data);

  DataGroupId datagroupType_ = DataGroupId::Unknown;
  Bytes body_;
  Bytes data_;
  int pos_ = 0;
};

// Groups kept as bytes only.
class NotImplementedDG : public DataGroup {};

class DataGroup1 : public DataGroup {
 public:
  std::map<std::string, std::string> elements;

 protected:
  void parse(const Bytes&) override {}
  DataGroupId ownType() const override { return DataGroupId::DG1; }
};

class DataGroup7 : public DataGroup {
 protected:
  void parse(const Bytes&) override {}
  DataGroupId ownType() const override { return DataGroupId::DG7; }
};

class DataGroup11 : public DataGroup {
 public:
  std::optional<std::string> fullName, personalNumber, dateOfBirth, placeOfBirth, address,
      telephone, profession, title, personalSummary, proofOfCitizenship, tdNumbers, custodyInfo;

 protected:
  void parse(const Bytes&) override {}
  DataGroupId ownType() const override { return DataGroupId::DG11; }
};

class DataGroup12 : public DataGroup {
 protected:
  void parse(const Bytes&) override {}
  DataGroupId ownType() const override { return DataGroupId::DG12; }
};

class ASN1Item;
class SecurityInfo;

class DataGroup14 : public DataGroup {
 public:
  std::shared_ptr<ASN1Item> asn1;
  std::vector<std::shared_ptr<SecurityInfo>> securityInfos;

 protected:
  void parse(const Bytes&) override {}
  DataGroupId ownType() const override { return DataGroupId::DG14; }
};

// An opaque public key; nothing on the device reads DG15's keys.
struct OpaquePublicKey {
  Bytes encoded;
};

class DataGroup15 : public DataGroup {
 public:
  std::shared_ptr<OpaquePublicKey> rsaPublicKey;
  std::shared_ptr<OpaquePublicKey> ecdsaPublicKey;

 protected:
  void parse(const Bytes&) override {}
  DataGroupId ownType() const override { return DataGroupId::DG15; }
};

// The document security object, passed on raw: it is never verified on the device.
class SOD : public DataGroup {
 public:
  Bytes pkcs7CertificateData;

  // The groups whose hashes the LDS security object inside carries (DG1..DG16, in its order);
  // empty when the object cannot be found. Only plans a read that has no usable EF.COM.
  std::vector<DataGroupId> dataGroupsListed() const;

 protected:
  void parse(const Bytes&) override {}
  DataGroupId ownType() const override { return DataGroupId::SOD; }
  void didInitialise() override { pkcs7CertificateData = body(); }
};

// Storage-only types of the security infos; nothing fills them on the device.
class SecurityInfo {
 public:
  virtual ~SecurityInfo() = default;
};

class ActiveAuthenticationInfo : public SecurityInfo {
 public:
  std::string oid;
  int version = 0;
  std::optional<std::string> signatureAlgorithmOID;
};

class ChipAuthenticationInfo : public SecurityInfo {
 public:
  std::string oid;
  int version = 0;
  std::optional<int> keyId;
};

class ChipAuthenticationPublicKeyInfo : public SecurityInfo {
 public:
  std::string oid;
  std::shared_ptr<OpaquePublicKey> pubKey;
  std::optional<int> keyId;
};

class ASN1Item {
 public:
  int pos = 0;
  int depth = 0;
  int headerLen = 0;
  int length = 0;
  std::string itemType;
  std::string type;
  std::string value;
  std::string line;
  std::shared_ptr<ASN1Item> parent;
  std::vector<std::shared_ptr<ASN1Item>> children;

  std::string debugDescription() const;
};

struct DataGroupHash {
  std::string id;
  std::string sodHash;
  std::string computedHash;
  bool match = false;
};

}  // namespace ostrel
