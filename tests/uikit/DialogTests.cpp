#include <gtest/gtest.h>

#include "platform/foundation/Debug.hpp"
#include "platform/ui/Animation.hpp"
#include "platform/ui/TextField.hpp"
#include "tests/uikit/UIKitTest.hpp"
#include "ui/BaseViewController.hpp"
#include "ui/OSLAlertVC.hpp"
#include "ui/OSLPopupHolderViewController.hpp"
#include "ui/OstrelBaseViews.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

// Doubles named as the step screens the base screen knows by name. They live in this file
// only, so the library's real screens of the same names do not clash with them.
namespace {
class OSLScanNFCVC : public BaseViewController {};
class OSLFaceVC : public BaseViewController {};
class ConfirmViewController : public BaseViewController {};
class IDCaptureVC : public BaseViewController {};
class FaceSubclassVC : public OSLFaceVC {};
}  // namespace

namespace uikit_test {
namespace {

using Kind = OSLAlertVC::TypeOfAlert;

class DialogTest : public UIKitTest {
 protected:
  // Presents `alert` in a holder from `presenter` and lets the presentation finish.
  std::shared_ptr<OSLPopupHolderViewController> presentAlert(
      const std::shared_ptr<ViewController>& presenter, const std::shared_ptr<OSLAlertVC>& alert) {
    auto holder = OSLPopupHolderViewController::makeHolder(alert);
    EXPECT_TRUE(presenter->present(holder, true));
    advance(0.3);
    return holder;
  }
  std::shared_ptr<OSLPopupHolderViewController> presentAlertLike(
      const std::shared_ptr<ViewController>& presenter,
      const std::shared_ptr<ViewController>& child) {
    auto holder = OSLPopupHolderViewController::makeHolder(child);
    EXPECT_TRUE(presenter->present(holder, true));
    advance(0.3);
    return holder;
  }
};

class TapDismissPopup : public OSLPopupHolderViewController {
 public:
  TapDismissPopup() { canDismissOnTap = true; }
};

TEST_F(DialogTest, HolderAppliesItsMarginsAndPinsTheChild) {
  for (std::optional<double> top : {std::optional<double>(), std::optional<double>(40)}) {
    auto child = make<ViewController>();
    auto holder = OSLPopupHolderViewController::makeHolder(child);
    holder->fixedTop = top;
    holder->fixedLeading = 12;
    holder->fixedTrailing = 16;
    holder->loadViewIfNeeded();
    EXPECT_EQ(holder->fixedContrainTop->isActive(), top.has_value());
    if (top) {
      EXPECT_EQ(holder->fixedContrainTop->constant, 40);
    }
    EXPECT_EQ(holder->fixedContrainLeading->constant, 12);
    EXPECT_EQ(holder->fixedContrainTrailing->constant, 16);
    EXPECT_EQ(child->parent(), holder);
    EXPECT_EQ(child->view()->superview(), holder->mainPopView);
    EXPECT_EQ(holder->popViews, std::vector<std::shared_ptr<View>>{holder->mainPopView});
    EXPECT_EQ(holder->pinFormats().first, "H:|-(0.0)-[subview]-(0.0)-|");
    EXPECT_EQ(holder->pinFormats().second, "V:|-(0.0)-[subview]-(0.0)-|");
    EXPECT_FALSE(child->view()->translatesAutoresizingMaskIntoConstraints);
  }
  EXPECT_EQ(visualFormatNumber(7.5), "7.5");
  EXPECT_EQ(visualFormatNumber(20), "20.0");
}

TEST_F(DialogTest, HolderWithoutChildShowsAnEmptyCardAndSaysSo) {
  std::vector<std::string> logged;
  setDebugSink([&](std::string_view line) { logged.emplace_back(line); });
  auto holder = OSLPopupHolderViewController::makeHolder(nullptr);
  holder->loadViewIfNeeded();
  setDebugSink({});
  EXPECT_TRUE(holder->mainPopView->subviews().empty());
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_NE(logged[0].find("without a child"), std::string::npos);
}

TEST_F(DialogTest, PopupSpringsInAndShrinksAway) {
  auto screen = make<ViewController>();
  show(screen);
  auto alert = OSLAlertVC::newVC(Kind::generalError);
  auto holder = OSLPopupHolderViewController::makeHolder(alert);
  ASSERT_TRUE(screen->present(holder, true));
  auto card = holder->mainPopView;

  ASSERT_FALSE(animations().empty());
  auto in = animations().back();
  ASSERT_TRUE(in->spring);
  EXPECT_EQ(in->duration, 0.3);
  EXPECT_EQ(in->spring->dampingRatio, 1.0);
  EXPECT_TRUE(in->options.allowUserInteraction);
  ASSERT_TRUE(in->change(card.get(), "transform"));
  EXPECT_EQ(std::get<AffineTransform>(in->change(card.get(), "transform")->from),
            AffineTransform::scale(0.3, 0.3));
  EXPECT_EQ(card->transform(), AffineTransform::identity());
  EXPECT_EQ(holder->view()->alpha(), 1);
  auto container = holder->view()->superview();
  ASSERT_TRUE(container);
  EXPECT_EQ(container->subviews().front(), holder->visualEffectBlurView);
  EXPECT_EQ(holder->preferredStatusBarStyle(), StatusBarStyle::lightContent);
  EXPECT_TRUE(holder->modalPresentationCapturesStatusBarAppearance);
  // The card is laid out in the window: centred, 20 points from each side.
  EXPECT_EQ(card->frame().minX(), 20);
  EXPECT_EQ(card->frame().width(), 350);
  EXPECT_NEAR(card->frame().midY(), 422, 1);
  advance(0.3);
  EXPECT_EQ(screen->presentedViewController(), holder);
  EXPECT_TRUE(screen->isAppeared());  // over full screen: the screen stays

  ASSERT_TRUE(alert->dismiss(true));
  auto out = animations().back();
  ASSERT_TRUE(out->spring);
  EXPECT_EQ(out->spring->dampingRatio, 2.0);
  EXPECT_EQ(holder->view()->alpha(), 0);
  EXPECT_EQ(card->transform(), AffineTransform::scale(0.3, 0.3));
  advance(0.3);
  EXPECT_EQ(holder->visualEffectBlurView->superview(), nullptr);
  EXPECT_FALSE(holder->visualEffectBlurView->effect.has_value());
  EXPECT_EQ(holder->view()->window(), nullptr);
  EXPECT_EQ(screen->presentedViewController(), nullptr);
}

TEST_F(DialogTest, BackdropTapDropsTheKeyboardAndDismissesOnlyWhenAllowed) {
  // The nib is made for a smaller screen than the window: the backdrop must still cover it.
  Screen::main().setBounds({0, 0, 320, 568});
  auto screen = make<ViewController>();
  show(screen);
  auto field = make<TextField>(Rect{20, 20, 200, 30});
  auto child = make<ViewController>();
  child->view()->addSubview(field);
  auto holder = presentAlertLike(screen, child);
  EXPECT_EQ(holder->backdropTapView()->frame(), window()->bounds());
  field->becomeFirstResponder();
  user().tapAt(window(), {380, 830});
  EXPECT_FALSE(field->isFirstResponder());
  advance(1);
  EXPECT_EQ(screen->presentedViewController(), holder);
  ASSERT_TRUE(holder->dismiss(false));

  auto popup = make<TapDismissPopup>();
  popup->setNib("OSLPopupHolderViewController", resourceBundle());
  popup->mainPopVC = make<ViewController>();
  popup->modalPresentationStyle = ModalPresentationStyle::overFullScreen;
  popup->transitioningDelegate =
      std::dynamic_pointer_cast<ViewControllerTransitioningDelegate>(popup->shared<Object>());
  popup->hasChange = true;
  std::vector<bool> dismissed;
  popup->onDismiss = [&](bool changed) { dismissed.push_back(changed); };
  ASSERT_TRUE(screen->present(popup, true));
  advance(0.3);
  user().tapAt(window(), {5, 5});
  EXPECT_EQ(dismissed, std::vector<bool>{true});  // as the popup starts to go
  advance(0.3);
  EXPECT_EQ(screen->presentedViewController(), nullptr);
}

TEST_F(DialogTest, AlertKindsShowTheirContents) {
  auto customIcon = std::make_shared<Image>(cv::Mat(8, 8, CV_8UC4, cv::Scalar(1, 2, 3, 255)));
  struct Row {
    Kind kind;
    bool callerTexts;
    double iconSize;
    ImagePtr icon;
    std::string title, message, confirm;
    std::optional<std::string> cancel;
  };
  const std::vector<Row> rows{
      {Kind::timeout, true, 50, bundleImage("icon_alert_timeout"), "[error_unknown]",
       "[error_timeout]", "[button_retry]", std::nullopt},
      {Kind::networkError, false, 50, bundleImage("icon_alert_error"), "[error_unknown]",
       "[error_network]", "[button_confirm]", std::nullopt},
      {Kind::networkError, true, 100, customIcon, "T", "M", "OK", std::nullopt},
      {Kind::exitConfirmation, true, 100, bundleImage("qirta_warning"), "[exit_confirm_title]",
       "[exit_confirm_message]", "OK", "No"},
      {Kind::generalError, false, 50, bundleImage("icon_alert_error"), "[error_unknown]", "",
       "[button_confirm]", std::nullopt},
      {Kind::generalError, true, 50, bundleImage("icon_alert_error"), "T", "M", "[button_confirm]",
       std::nullopt},
      {Kind::customConfirmation, false, 100, bundleImage("qirta_warning"), "[exit_confirm_title]",
       "[exit_confirm_message]", "[button_confirm]", "[button_cancel]"},
      {Kind::customConfirmation, true, 100, customIcon, "T", "M", "OK", "No"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.kind) * 10 + row.callerTexts);
    auto alert = row.callerTexts ? OSLAlertVC::newVC(row.kind, customIcon, "T", "M", "No", "OK")
                                 : OSLAlertVC::newVC(row.kind);
    EXPECT_FALSE(alert->isViewLoaded());
    alert->loadViewIfNeeded();
    EXPECT_EQ(alert->widthHeightIconCT->constant, row.iconSize);
    EXPECT_TRUE(samePixels(alert->imgIcon->image(), row.icon));
    EXPECT_EQ(alert->lblTitle->text(), row.title);
    EXPECT_EQ(alert->lblMessage->text(), row.message);
    EXPECT_EQ(alert->btnConfirm->title(ControlState::normal), row.confirm);
    EXPECT_FALSE(alert->btnConfirm->isHidden());
    EXPECT_EQ(alert->btnCancel->isHidden(), !row.cancel.has_value());
    if (row.cancel) {
      EXPECT_EQ(alert->btnCancel->title(ControlState::normal), row.cancel);
    }
    EXPECT_EQ(alert->lblTitle->font(), Font::systemFont(17, FontWeight::semibold));
    EXPECT_EQ(alert->lblTitle->textColor(), Color::black());
    EXPECT_EQ(alert->lblMessage->font(), Font::systemFont(15, FontWeight::medium));
    EXPECT_EQ(alert->lblMessage->textColor(), Color::gray());
  }
  EXPECT_FALSE(OSLAlertVC::typeOfAlert(5));
  EXPECT_FALSE(OSLAlertVC::typeOfAlert(-1));
  EXPECT_EQ(OSLAlertVC::typeOfAlert(4), Kind::customConfirmation);
}

TEST_F(DialogTest, TimeoutConfirmRunsTheActionThenCancelThenExpiry) {
  for (bool withEventHandler : {true, false}) {
    SCOPED_TRACE(withEventHandler);
    auto session = startSession(make<ViewController>());
    std::vector<std::string> order;
    auto current = OSLConfig::Builder("token");
    if (withEventHandler) {
      current->eventHandler = [&](OSLConfig::Event e) {
        order.push_back(e == OSLConfig::Event::cancelled ? "cancelled" : "expired");
      };
    }
    current->cancelSessionHandler = [&] { order.push_back("cancelSession"); };
    current->expiredHandler = [&] { order.push_back("expiredHandler"); };
    Ostrel::shared()->setConfig(current);

    auto alert = OSLAlertVC::newVC(Kind::timeout);
    alert->onConfirmAction = [&] { order.push_back("action"); };
    presentAlert(session->topViewController(), alert);
    user().tap(alert->btnConfirm);
    EXPECT_TRUE(order.empty());  // nothing while the alert is still on screen
    advance(0.3);
    EXPECT_EQ(order, std::vector<std::string>{"action"});
    advance(1);
    if (withEventHandler) {
      EXPECT_EQ(order, (std::vector<std::string>{"action", "cancelled", "expired"}));
    } else {
      EXPECT_EQ(order, (std::vector<std::string>{"action", "cancelSession", "expiredHandler"}));
    }
    EXPECT_EQ(Ostrel::shared()->naviViewController(), nullptr);
  }
}

TEST_F(DialogTest, AlertTakesOneTapOnly) {
  auto session = startSession(make<ViewController>());
  int expired = 0;
  int cancelled = 0;
  config->eventHandler = [&](OSLConfig::Event e) {
    (e == OSLConfig::Event::expired ? expired : cancelled)++;
  };
  auto alert = OSLAlertVC::newVC(Kind::timeout);
  int confirms = 0;
  alert->onConfirmAction = [&] { ++confirms; };
  auto holder = OSLPopupHolderViewController::makeHolder(alert);
  testing::PresentationRecorder recorder;
  ASSERT_TRUE(session->topViewController()->present(holder, true));
  // A tap while the popup is still arriving is refused by the platform and leaves it live.
  alert->btnConfirmClicked(*alert->btnConfirm);
  EXPECT_FALSE(alert->isEnding());
  advance(0.3);

  alert->btnConfirmClicked(*alert->btnConfirm);
  EXPECT_TRUE(alert->isEnding());
  const auto before = recorder.events().size();
  alert->btnConfirmClicked(*alert->btnConfirm);
  alert->btnCancelClicked(*alert->btnCancel);
  EXPECT_EQ(recorder.events().size(), before);  // no second dismissal was even asked for
  advance(2);
  EXPECT_EQ(confirms, 1);
  EXPECT_EQ(cancelled, 1);
  EXPECT_EQ(expired, 1);
}

TEST_F(DialogTest, CancelWithoutActionOnlyDismisses) {
  for (Kind kind : {Kind::exitConfirmation, Kind::customConfirmation}) {
    auto session = startSession(make<ViewController>());
    int events = 0;
    config->eventHandler = [&](OSLConfig::Event) { ++events; };
    auto alert = OSLAlertVC::newVC(kind);
    int confirms = 0;
    alert->onConfirmAction = [&] { ++confirms; };
    presentAlert(session->topViewController(), alert);
    user().tap(alert->btnCancel);
    advance(1);
    EXPECT_EQ(session->topViewController()->presentedViewController(), nullptr);
    EXPECT_EQ(Ostrel::shared()->naviViewController(), session);
    EXPECT_EQ(confirms, 0);
    EXPECT_EQ(events, 0);
  }
}

// ------------------------------------------------------------------------- base screen

TEST_F(DialogTest, BaseScreenSetsItsBarAndBackground) {
  config->appearance->withBackgroundColor("#1234");  // an odd length gives the odd colour
  auto alone = make<IDCaptureVC>();
  show(alone);
  auto item = alone->navigationItem()->rightBarButtonItem();
  ASSERT_TRUE(item);
  EXPECT_EQ(alone->navigationItem()->rightBarButtonItems.size(), 1u);
  auto close = std::dynamic_pointer_cast<Button>(item->customView);
  ASSERT_TRUE(close);
  EXPECT_EQ(close->frame(), (Rect{0, 0, 30, 30}));
  EXPECT_EQ(close->imageEdgeInsets, (EdgeInsets{4, 8, 4, 0}));
  EXPECT_TRUE(samePixels(close->image(ControlState::normal), bundleImage("icon_close")));
  EXPECT_TRUE(alone->navigationItem()->hidesBackButton);
  EXPECT_EQ(alone->view()->backgroundColor(), colorFromHex("#1234"));

  auto screen = make<OSLFaceVC>();
  auto navi = NavigationController::withRoot(screen);
  screen->loadViewIfNeeded();
  auto bar = navi->navigationBar();
  ASSERT_TRUE(bar->backgroundImage);
  EXPECT_EQ(bar->backgroundImage->size(), (Size{0, 0}));
  ASSERT_TRUE(bar->shadowImage);
  EXPECT_TRUE(bar->isTranslucent);
  EXPECT_EQ(bar->barTintColor, Color::white());
  EXPECT_EQ(bar->tintColor(), Color::white());
}

TEST_F(DialogTest, OnlyTheThreeNamedScreensReportBackgroundAndForeground) {
  struct Row {
    std::shared_ptr<BaseViewController> screen;
    std::optional<std::string> name;
  };
  for (const Row& row :
       {Row{make<OSLScanNFCVC>(), "OSL_SCREEN_NFC"}, Row{make<OSLFaceVC>(), "OSL_SCREEN_LIVENESS"},
        Row{make<ConfirmViewController>(), "OSL_SCREEN_CONFIRM_INFORMATION"},
        Row{make<IDCaptureVC>(), std::nullopt}, Row{make<FaceSubclassVC>(), std::nullopt}}) {
    SCOPED_TRACE(typeNameWithoutModule(*row.screen));
    logged->clear();
    show(row.screen);
    setApplicationActive(false);
    setApplicationActive(true);
    runUntilIdle();
    if (!row.name) {
      EXPECT_TRUE(logged->empty());
      continue;
    }
    ASSERT_EQ(logged->size(), 2u);
    EXPECT_EQ((*logged)[0].event, "SDK_IN_BACKGROUND");
    EXPECT_EQ((*logged)[1].event, "SDK_IN_FOREGROUND");
    for (const auto& e : *logged) {
      EXPECT_EQ(e.screen, *row.name);
      EXPECT_EQ(e.level, OSLLogLevel::info);
      EXPECT_EQ(e.data, JSON::object());
    }
  }
}

TEST_F(DialogTest, HiddenScreenIsSilentUntilShownAgain) {
  auto nfc = make<OSLScanNFCVC>();
  auto navi = NavigationController::withRoot(nfc);
  show(navi);
  navi->pushViewController(make<IDCaptureVC>(), false);
  runUntilIdle();
  setApplicationActive(false);
  setApplicationActive(true);
  EXPECT_TRUE(logged->empty());
  navi->popViewController(false);
  runUntilIdle();
  setApplicationActive(false);
  runUntilIdle();
  EXPECT_EQ(eventNames(), std::vector<std::string>{"SDK_IN_BACKGROUND"});
}

TEST_F(DialogTest, ExitConfirmationEndsTheSessionOnlyWhenConfirmed) {
  auto screen = make<OSLFaceVC>();
  auto session = startSession(screen);
  std::vector<OSLConfig::Event> events;
  config->eventHandler = [&](OSLConfig::Event e) { events.push_back(e); };
  testing::PresentationRecorder recorder;

  // Cancel keeps the session.
  auto close =
      std::dynamic_pointer_cast<Button>(screen->navigationItem()->rightBarButtonItem()->customView);
  close->sendActions(ControlEvent::touchUpInside);
  auto holder =
      std::dynamic_pointer_cast<OSLPopupHolderViewController>(screen->presentedViewController());
  ASSERT_TRUE(holder);
  EXPECT_EQ(holder->modalPresentationStyle, ModalPresentationStyle::overFullScreen);
  EXPECT_EQ(holder->fixedLeading, 20);
  EXPECT_EQ(holder->fixedTrailing, 20);
  EXPECT_FALSE(holder->fixedContrainTop->isActive());
  auto alert = std::dynamic_pointer_cast<OSLAlertVC>(holder->mainPopVC);
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->alert, OSLAlertVC::TypeOfAlert::exitConfirmation);
  advance(0.3);
  EXPECT_TRUE(screen->isAppeared());
  user().tap(alert->btnCancel);
  advance(1);
  EXPECT_EQ(screen->presentedViewController(), nullptr);
  EXPECT_EQ(Ostrel::shared()->naviViewController(), session);
  EXPECT_TRUE(events.empty());

  // Confirm closes it as cancelled, after the alert has gone.
  close->sendActions(ControlEvent::touchUpInside);
  holder =
      std::dynamic_pointer_cast<OSLPopupHolderViewController>(screen->presentedViewController());
  ASSERT_TRUE(holder);
  advance(0.3);
  user().tap(std::dynamic_pointer_cast<OSLAlertVC>(holder->mainPopVC)->btnConfirm);
  EXPECT_EQ(Ostrel::shared()->naviViewController(), session);
  advance(0.3);
  advance(1);
  EXPECT_EQ(events, std::vector<OSLConfig::Event>{OSLConfig::Event::cancelled});
  EXPECT_EQ(Ostrel::shared()->naviViewController(), nullptr);
  EXPECT_EQ(host->presentedViewController(), nullptr);
}

TEST_F(DialogTest, ExitConfirmationComesFromTheTabBarWhenThereIsOne) {
  auto screen = make<IDCaptureVC>();
  auto tabs = make<TabBarController>();
  tabs->setViewControllers({screen});
  show(tabs);
  testing::PresentationRecorder recorder;
  screen->closeTapped();
  advance(0.3);
  ASSERT_FALSE(recorder.events().empty());
  EXPECT_EQ(recorder.events().back().kind, PresentationEvent::Kind::presented);
  EXPECT_EQ(typeNameWithoutModule(*tabs), "TabBarController");
  EXPECT_NE(recorder.events().back().presenter.find("TabBarController"), std::string::npos);
  EXPECT_TRUE(
      std::dynamic_pointer_cast<OSLPopupHolderViewController>(tabs->presentedViewController()));
}

}  // namespace
}  // namespace uikit_test
}  // namespace ostrel
