#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ui/Device.hpp"
#include "platform/ui/PhotoPickers.hpp"
#include "tests/qr_scanner/QRScannerTest.hpp"

namespace ostrel::qr_test {
namespace {

using Response = QRScannerCodeResponseType;

class PhotoPathTest : public QRScannerTest {
 protected:
  PhotoPathTest() {
    configuration.readQRFromPhotos = true;
    configuration.invalidQRCodeAlertTitle = "Not a code";
    configuration.invalidQRCodeAlertActionTitle = "Got it";
    addCameras();
  }

  // An upright photo holding one code per text, side by side.
  static cv::Mat photoOf(const std::vector<std::string>& texts) {
    testing::QRScene scene;
    scene.size = {1200, 900};
    std::vector<std::pair<cv::Mat, testing::QRPlacement>> codes;
    for (std::size_t i = 0; i < texts.size(); ++i)
      codes.push_back({testing::qrCodeModules(texts[i], 5),
                       {{300.0 + 600.0 * double(i), 450.0}, 0, 1}});
    return scene.render(codes);
  }

  // The scanner pushed over another screen of a session; what it reports goes to `responses`.
  std::shared_ptr<OSLQRCodeScannerController> pushScanner() {
    auto screen = OSLQRCodeScannerController::create(configuration);
    screen->onScannedHandle = [log = responses](const Response& r) { log->push_back(r); };
    push(screen);
    return screen;
  }
  // Taps the upload button and picks item `index` in the picker that opens.
  void pick(OSLQRCodeScannerController& screen, std::size_t index) {
    user().tap(screen.uploadButton);
    advance(1);
    ASSERT_TRUE(pickPhoto(index));
    EXPECT_TRUE(settle([&] { return !std::dynamic_pointer_cast<PHPickerViewController>(topPresented()); }));
    advance(1);
    runUntilIdle();
  }

  QRScannerConfiguration configuration;
  std::shared_ptr<testing::ScriptedPhotoLibrary> library = testing::ScriptedPhotoLibrary::install();
  std::shared_ptr<std::vector<Response>> responses = std::make_shared<std::vector<Response>>();
};

// A link's "referral" value is reported after the pushed screen pops; a screen presented on its
// own dismisses itself first. Nothing goes to the server and the flow does not move on.
TEST_F(PhotoPathTest, PickedCodeIsReportedAfterTheScreenLeaves) {
  library->addPicture("link.png", photoOf({testing::kReferralLink}));
  library->addPicture("two.png", photoOf({"left code", "right code"}));
  auto screen = pushScanner();
  ASSERT_TRUE(screen->uploadButton);
  EXPECT_EQ(screen->uploadButton->attributedTitle(ControlState::normal)->string, "Upload from photos");
  EXPECT_DOUBLE_EQ(screen->uploadButton->frame().height(), 36);
  EXPECT_DOUBLE_EQ(screen->uploadButton->center().x, 195);
  pick(*screen, 0);
  EXPECT_EQ(*responses, std::vector<Response>{{Response::didScanQRCodeWithResult{"ab12cd34"}}});
  auto navi = Ostrel::shared()->naviViewController();
  ASSERT_TRUE(navi);
  EXPECT_EQ(navi->viewControllers().size(), 1u) << "popped, the session still on screen";
  EXPECT_TRUE(server.requests(kSubmit).empty());
  EXPECT_EQ(count("next"), 0);

  // Presented by a host on its own, reporting to a delegate: dismissed, then reported.
  struct Delegate : QRScannerCodeDelegate {
    std::vector<std::string> heard;
    void qrScanner(OSLQRCodeScannerController&, const std::string& text) override { heard.push_back(text); }
    void qrScanner(OSLQRCodeScannerController&, const QRCodeError&) override { heard.push_back("error"); }
    void qrScannerDidCancel(OSLQRCodeScannerController&) override { heard.push_back("cancel"); }
  };
  auto delegate = std::make_shared<Delegate>();
  auto presenter = make<ViewController>();
  show(presenter);
  auto presented = OSLQRCodeScannerController::create(configuration);
  presented->delegate = delegate;
  presenter->present(presented, false);
  advance(1);
  pick(*presented, 1);
  ASSERT_EQ(delegate->heard.size(), 1u);
  EXPECT_TRUE(delegate->heard[0] == "left code" || delegate->heard[0] == "right code");
  EXPECT_FALSE(presenter->presentedViewController());
}

// What does not give a usable text shows the invalid-code alert (the configuration's title and
// action, no message) and reports nothing; a cancel leaves the screen as it was. Without a
// configured pattern any non-empty text is reported.
TEST_F(PhotoPathTest, UnusablePicksAlertAndReportNothing) {
  struct Row {
    const char* name;
    std::optional<std::string> pattern;
    std::function<void(testing::ScriptedPhotoLibrary&)> item;
    bool alert;
    std::optional<std::string> reported;
  };
  const std::vector<Row> rows = {
      {"no code", std::nullopt, [](auto& l) { l.addPicture("blank.png", photoOf({})); }, true, std::nullopt},
      {"refused by the pattern", std::string("[0-9]+"),
       [](auto& l) { l.addPicture("word.png", photoOf({"letters"})); }, true, std::nullopt},
      {"accepted by the pattern", std::string("[a-z]+"),
       [](auto& l) { l.addPicture("word.png", photoOf({"letters"})); }, false, "letters"},
      {"no pattern: any text", std::nullopt,
       [](auto& l) { l.addPicture("upper.png", photoOf({"NOT EIGHT LOWER"})); }, false, "NOT EIGHT LOWER"},
      {"empty pattern: no validation", std::string(""),
       [](auto& l) { l.addPicture("upper.png", photoOf({"ANY"})); }, false, "ANY"},
      {"picture without pixels", std::nullopt, [](auto& l) { l.addPictureWithoutBitmap("empty.png"); }, true, std::nullopt},
      {"not a picture (newer picker: nothing)", std::nullopt, [](auto& l) { l.addNonPicture("notes.pdf"); }, false, std::nullopt},
      {"unreadable (newer picker: nothing)", std::nullopt, [](auto& l) { l.addFailing("broken.jpg"); }, false, std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    library = testing::ScriptedPhotoLibrary::install();
    row.item(*library);
    responses->clear();
    configuration.regexValidResult = row.pattern;
    auto screen = pushScanner();
    pick(*screen, 0);
    auto alert = std::dynamic_pointer_cast<AlertController>(topPresented());
    ASSERT_EQ(alert != nullptr, row.alert);
    if (alert) {
      EXPECT_EQ(alert->alertTitle(), "Not a code");
      EXPECT_EQ(alert->message(), "");
      ASSERT_EQ(alert->actions().size(), 1u);
      EXPECT_EQ(alert->actions()[0].style, AlertActionStyle::cancel);
      EXPECT_TRUE(tapAlertAction("Got it"));
      advance(1);
    }
    if (row.reported) {
      EXPECT_EQ(*responses, std::vector<Response>{{Response::didScanQRCodeWithResult{*row.reported}}});
    } else {
      EXPECT_TRUE(responses->empty());
      EXPECT_EQ(Ostrel::shared()->naviViewController()->viewControllers().back(), screen);
    }
    Ostrel::shared()->setNaviViewController(nullptr);
  }

  // Cancel: nothing reported, the screen as it was.
  auto screen = pushScanner();
  user().tap(screen->uploadButton);
  advance(1);
  ASSERT_TRUE(cancelPhotoPicker());
  advance(1);
  runUntilIdle();
  EXPECT_TRUE(responses->empty());
  EXPECT_EQ(screen->scanState(), OSLQRCodeScannerController::ScanState::scanning);
}

// The older picker asks for library access first: restricted or denied shows the permission
// alert, authorised or limited the three-action sheet (anchored on a pad), and an undetermined
// status asks and goes on by the answer. Its non-picture picks show the invalid-code alert.
TEST_F(PhotoPathTest, LegacyPickerAccessTable) {
  using S = PhotoAuthorizationStatus;
  Device::current().setSupportsModernPhotoPicker(false);
  struct Row {
    const char* name;
    S status;
    S answer;
    bool pad;
    bool sheet;
  };
  const std::vector<Row> rows = {
      {"restricted", S::restricted, S::authorized, false, false},
      {"denied", S::denied, S::authorized, false, false},
      {"authorised", S::authorized, S::authorized, false, true},
      {"limited", S::limited, S::authorized, true, true},
      {"asked, authorised", S::notDetermined, S::authorized, false, true},
      {"asked, limited", S::notDetermined, S::limited, false, false},
      {"asked, denied", S::notDetermined, S::denied, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    library = testing::ScriptedPhotoLibrary::install();
    library->setStatus(row.status);
    library->setRequestAnswer(row.answer);
    library->addNonPicture("notes.pdf");
    Device::current().setUserInterfaceIdiom(row.pad ? UserInterfaceIdiom::pad : UserInterfaceIdiom::phone);
    auto screen = pushScanner();
    ASSERT_TRUE(screen->photoPicker);
    user().tap(screen->uploadButton);
    advance(1);
    EXPECT_TRUE(settle([&] { return topPresented() != Ostrel::shared()->naviViewController(); }));
    advance(1);
    EXPECT_EQ(library->authorizationRequests(), row.status == S::notDetermined ? 1 : 0);
    auto sheet = std::dynamic_pointer_cast<AlertController>(topPresented());
    ASSERT_EQ(sheet != nullptr, row.sheet);
    if (!sheet) {
      auto alert = shownAlert();
      ASSERT_TRUE(alert);
      EXPECT_EQ(alert->alert, OSLAlertVC::TypeOfAlert::customConfirmation);
      EXPECT_EQ(alert->titleAlert, "[check_permission_camera_title]");
      user().tap(alert->btnConfirm);
      advance(1);
      EXPECT_GE(Application::shared().openSettingsRequests(), 1);
      Ostrel::shared()->setNaviViewController(nullptr);
      continue;
    }
    EXPECT_EQ(sheet->preferredStyle(), AlertControllerStyle::actionSheet);
    ASSERT_EQ(sheet->actions().size(), 3u);
    EXPECT_EQ(sheet->actions()[2].style, AlertActionStyle::cancel);
    auto* popover = sheet->popoverPresentationController();
    ASSERT_EQ(popover != nullptr, row.pad);
    if (popover) {
      EXPECT_EQ(popover->sourceView.lock(), screen->view());
      EXPECT_EQ(popover->permittedArrowDirections, 3u);
    }
    ASSERT_TRUE(tapAlertAction("[button_capture]"));
    advance(1);
    auto picker = std::dynamic_pointer_cast<ImagePickerController>(topPresented());
    ASSERT_TRUE(picker);
    EXPECT_EQ(picker->sourceType, ImagePickerSourceType::savedPhotosAlbum);
    ASSERT_TRUE(pickPhoto(0));
    advance(1);
    auto invalid = std::dynamic_pointer_cast<AlertController>(topPresented());
    ASSERT_TRUE(invalid) << "a non-picture pick shows the invalid-code alert here";
    EXPECT_EQ(invalid->alertTitle(), "Not a code");
    Ostrel::shared()->setNaviViewController(nullptr);
  }
}

}  // namespace
}  // namespace ostrel::qr_test
