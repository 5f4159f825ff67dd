#include "results/ConfirmViewController.hpp"

#include <array>
#include <utility>
#include <vector>

#include "core/Helpers.hpp"
#include "session/HelpersAlerts.hpp"
#include "core/Localization.hpp"
#include "session/Ostrel.hpp"
#include "model/OSLBackResult.hpp"
#include "model/OSLConfirmResult.hpp"
#include "model/OSLFrontResult.hpp"
#include "model/OSLNfcModel.hpp"
#include "model/OstrelResult.hpp"
#include "network/OstrelClient.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/ui/Text.hpp"
#include "core/CurrentConfig.hpp"
#include "ui/OSLAlertVC.hpp"
#include "ui/OstrelBaseViews.hpp"

namespace ostrel {

using namespace platform;

namespace {

// The formats a server reading's date may come in, tried in this order.
constexpr std::array<const char*, 8> kReadingDateFormats{
    "dd/MM/yyyy", "MM/dd/yyyy", "yyyy/MM/dd", "MM-dd-yyyy",
    "yyyy-MM-dd", "dd-MM-yyyy", "yyyy.MM.dd", "MM.dd.yyyy"};

std::optional<Date> readingDate(const std::string& text) {
  for (const char* format : kReadingDateFormats) {
    if (auto date = Helpers::dateFromString(text, format)) return date;
  }
  return std::nullopt;
}

void hideLoadingLater() {
  DispatchQueue::main()->async([] { Ostrel::shared()->hideLoading(); });
}

// What both server calls do with a failure: hide the indicator, then the time-out alert for an
// expired session, else the host's error-alert handler (only while the screen is there: it is
// given the screen) or, without one, the library's alert. `retryHint` adds the retry text to
// the service's code 12 and shows it as a general error.
void reportFailure(const OstrelError& error, const std::shared_ptr<ViewController>& screen,
                   bool retryHint) {
  Ostrel::shared()->hideLoading();
  if (error.code == 401) {
    Helpers::showTimeoutAlert(nullptr);
    return;
  }
  const bool retry = retryHint && error.code == 12;
  const std::string message =
      retry ? error.message + ", " + osl_localize("osl_confirm_please_retry") : error.message;
  if (auto handler = currentConfig()->showErrorAlertHandler) {
    if (screen) handler(message, error.code, screen);
    return;
  }
  const auto kind = retry ? OSLAlertVC::TypeOfAlert::generalError
                          : OSLAlertVC::TypeOfAlert::networkError;
  Helpers::showAlert(static_cast<int>(kind), retry ? 0 : -1, nullptr, std::nullopt, message,
                     std::nullopt, std::nullopt, {}, {}, nullptr);
}

}  // namespace

void ConfirmViewController::loadReading() {
  readingPending_ = false;
  std::weak_ptr<ConfirmViewController> weakSelf = weak<ConfirmViewController>();
  DispatchQueue::main()->async([weakSelf] {
    auto self = weakSelf.lock();
    if (!self) return;
    for (const auto& field :
         {self->nameTextField, self->idNumberTextField, self->dateOfBirthTextField,
          self->dateIssueTextField, self->addressTextField, self->tfHomeTown,
          self->tfExpiryDate}) {
      if (field) field->setText("");
    }
  });
  Helpers::showLoading(shared<ConfirmViewController>());
  const std::uint64_t run = run_;
  OstrelClient::getResult(OstrelClient::kGetResultPath, [weakSelf, run](Outcome<JSON> outcome) {
    auto self = weakSelf.lock();
    if (self && self->run_ != run) {
      // The screen was reset for another run: the old reply only balances its indicator.
      Ostrel::shared()->hideLoading();
      return;
    }
    if (!outcome) {
      reportFailure(outcome.error(), self, true);
      return;
    }
    hideLoadingLater();
    if (self) self->handleReading(outcome.value());
  });
}

void ConfirmViewController::handleReading(const JSON& data) {
  currentConfig()->frontResult =
      std::make_shared<OSLFrontResult>(data.is_object() ? data : JSON::object());
  fillFieldsFromFrontResult();
}

void ConfirmViewController::fillFieldsFromFrontResult() {
  std::weak_ptr<ConfirmViewController> weakSelf = weak<ConfirmViewController>();
  DispatchQueue::main()->async([weakSelf] {
    auto self = weakSelf.lock();
    if (!self) return;
    auto front = currentConfig()->frontResult;
    std::shared_ptr<Field> fields = front ? front->fields : nullptr;
    auto value = [&](std::optional<std::string> Field::*member) -> std::optional<std::string> {
      return fields ? fields.get()->*member : std::nullopt;
    };
    auto fill = [](const std::shared_ptr<OstrelTextField>& field, std::optional<std::string> v) {
      if (field) field->setText(std::move(v));
    };
    fill(self->nameTextField, value(&Field::name));
    fill(self->idNumberTextField, value(&Field::idNumber));
    fill(self->dateOfBirthTextField, value(&Field::birthday));
    fill(self->dateIssueTextField, value(&Field::doi));
    fill(self->tfHomeTown, value(&Field::home));
    fill(self->tfExpiryDate, value(&Field::doe));
    fill(self->addressTextField, value(&Field::resident));
    self->features = value(&Field::features).value_or("");
    // Compared in canonical form, so a decomposed "nữ" counts as well.
    const std::string g = precomposed(lowercased(value(&Field::gender).value_or("")));
    if (g == "nữ" || g == "female") self->setGender(2);
    if (g == "nam" || g == "male") self->setGender(1);
    const std::pair<std::shared_ptr<OstrelTextField>, std::shared_ptr<DatePicker>> dates[] = {
        {self->dateOfBirthTextField, self->datePickerDOB},
        {self->dateIssueTextField, self->datePickerDOI},
        {self->tfExpiryDate, self->datePickerDOE}};
    for (const auto& [field, picker] : dates) {
      if (!field || !picker || field->text().empty()) continue;
      if (auto date = readingDate(field->text())) picker->date = date->timeIntervalSince1970;
    }
  });
}

void ConfirmViewController::confirmInformation() {
  // A host loading handler need not block touches; one confirmation at a time.
  if (confirming_) return;
  const std::pair<bool, std::shared_ptr<Label>> required[] = {
      {nameTextField && !nameTextField->text().empty(), nameLabel},
      {gender != 0, genderLabel},
      {dateOfBirthTextField && !dateOfBirthTextField->text().empty(), dateOfBirthLabel},
      {idNumberTextField && !idNumberTextField->text().empty(), idNumberLabel},
      {dateIssueTextField && !dateIssueTextField->text().empty(), dateIssueLabel},
      {addressTextField && !addressTextField->text().empty(), addressLabel},
      {tfHomeTown && !tfHomeTown->text().empty(), lblHomeTown}};
  for (const auto& [present, label] : required) {
    if (present) continue;
    std::string name = label ? label->text().value_or("") : "";
    showError(osl_localize("confirm_warning") + " " + name);
    return;
  }
  if (auto invalid = firstInvalidMessage()) {
    showError(osl_localize(*invalid));
    updateConfirmButton();
    return;
  }
  Helpers::showLoading(shared<ConfirmViewController>());
  hideError();
  confirming_ = true;
  auto text = [](const std::shared_ptr<OstrelTextField>& field) {
    return field ? field->text() : std::string();
  };
  std::weak_ptr<ConfirmViewController> weakSelf = weak<ConfirmViewController>();
  const std::uint64_t run = run_;
  // Both handlers leave a screen that is gone or was reset alone, past the indicator.
  auto current = [weakSelf, run]() -> std::shared_ptr<ConfirmViewController> {
    auto self = weakSelf.lock();
    return self && self->run_ == run ? self : nullptr;
  };
  OstrelClient::confirm(
      OstrelClient::kConfirmPath, currentConfig()->getFullResult, text(dateOfBirthTextField),
      gender == 1 ? "Nam" : "Nữ", text(idNumberTextField), text(nameTextField),
      text(dateIssueTextField), text(addressTextField), text(tfExpiryDate), text(tfHomeTown),
      features,
      [current](const JSON& data) {
        hideLoadingLater();
        if (auto self = current()) self->handleConfirmSuccess(data);
      },
      [current, weakSelf](const OstrelError& error) {
        auto self = current();
        if (!self && weakSelf.lock()) {
          Ostrel::shared()->hideLoading();
          return;
        }
        if (self) self->confirming_ = false;
        reportFailure(error, self, false);
      });
}

void ConfirmViewController::handleConfirmSuccess(const JSON& data) {
  confirming_ = false;
  const JSON reply = data.is_object() ? data : JSON::object();
  auto config = currentConfig();
  auto confirmation = std::make_shared<OSLConfirmResult>(reply);
  std::shared_ptr<OSLNfcModel> chip;
  if (auto it = reply.find("nfc_data"); it != reply.end() && it->is_object()) {
    chip = OSLNfcModel::decode(*it);
  }
  auto front = config->frontResult ? config->frontResult
                                   : std::make_shared<OSLFrontResult>(JSON::object());
  auto back =
      config->backResult ? config->backResult : std::make_shared<OSLBackResult>(JSON::object());
  auto result = std::make_shared<OstrelResult>(JSON::object(), front, back, confirmation);
  result->nfcModel = chip;
  result->qrCodeModel = config->qrCodeResult;
  result->rawJson = reply;
  if (config->showResultScreen) {
    Ostrel::shared()->showEKYCResultScreen(result);
    return;
  }
  // The close replaces the configuration once it is done, so the handler is taken now.
  auto handler = config->resultHandler;
  Ostrel::shared()->close(false, [handler, result] {
    if (handler) handler(result);
  });
}

}  // namespace ostrel
