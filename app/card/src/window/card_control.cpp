// Late-bound calls of the card control, with the window's fallbacks when a call fails.
#include "card/card_control.h"

#include "com/qt_site.h"

namespace card {

CardCtl::CardCtl(std::unique_ptr<com::Control> control, com::EventSink* sink)
    : control_(std::move(control)), sink_(sink) {
    if (!control_) return;
    site_ = std::make_unique<com::QtHostSite>(*control_);
    control_->setSite(site_.get());
    if (sink_) control_->advise(sink_);
}

CardCtl::~CardCtl() {
    if (!control_) return;
    if (sink_) control_->unadvise(sink_);
    control_->setSite(nullptr);
    control_.reset();
    site_.reset();
}

QWidget* CardCtl::createWindow(QWidget* parent) {
    com::QtWindowed* windowed = control_ ? com::qtWindowed(*control_) : nullptr;
    return windowed ? windowed->createWindow(parent) : nullptr;
}

bool CardCtl::getBool(com::DispId id) {
    com::Variant v;
    if (!control_ || !com::succeeded(com::getProperty(*control_, id, v))) return false;
    return v.asBool();
}

std::int32_t CardCtl::getLong(com::DispId id) {
    com::Variant v;
    if (!control_ || !com::succeeded(com::getProperty(*control_, id, v))) return 0;
    return v.asI4();
}

std::string CardCtl::getString(com::DispId id) {
    com::Variant v;
    if (!control_ || !com::succeeded(com::getProperty(*control_, id, v))) return {};
    return v.asString();
}

void CardCtl::putBool(com::DispId id, bool value) {
    if (control_) com::putProperty(*control_, id, com::Variant::boolean(value));
}

void CardCtl::putLong(com::DispId id, std::int32_t value) {
    if (control_) com::putProperty(*control_, id, com::Variant::i4(value));
}

std::int32_t CardCtl::method(com::DispId id, std::vector<com::Variant> args) {
    if (!control_) return kNoDriver;
    com::Variant result;
    if (!com::succeeded(com::callMethod(*control_, id, std::move(args), &result))) return kNoDriver;
    return result.asI4();
}

std::int32_t CardCtl::indexedLong(com::DispId id, int index) {
    com::Variant v;
    if (!control_ ||
        !com::succeeded(com::getProperty(*control_, id, v, {com::Variant::i2(static_cast<std::int16_t>(index))})))
        return 0;
    return v.asI4();
}

bool CardCtl::indexedBool(com::DispId id, int index) {
    com::Variant v;
    if (!control_ ||
        !com::succeeded(com::getProperty(*control_, id, v, {com::Variant::i2(static_cast<std::int16_t>(index))})))
        return false;
    return v.asBool();
}

std::string CardCtl::indexedString(com::DispId id, int index) {
    com::Variant v;
    if (!control_ ||
        !com::succeeded(com::getProperty(*control_, id, v, {com::Variant::i2(static_cast<std::int16_t>(index))})))
        return {};
    return v.asString();
}

std::int32_t CardCtl::ReadCardData(const std::string& file) {
    return method(dispid::ReadCardData, {com::Variant::bstr(file)});
}

std::int32_t CardCtl::WriteCardData(const std::string& file) {
    return method(dispid::WriteCardData, {com::Variant::bstr(file)});
}

std::int32_t CardCtl::ReadMessage(int ch, const std::string& file) {
    return method(dispid::ReadMessage, {com::Variant::i2(static_cast<std::int16_t>(ch)), com::Variant::bstr(file)});
}

std::int32_t CardCtl::WriteMessage(int ch, const std::string& file) {
    return method(dispid::WriteMessage, {com::Variant::i2(static_cast<std::int16_t>(ch)), com::Variant::bstr(file)});
}

std::int32_t CardCtl::Repair(std::int32_t error) {
    // The control takes the number by reference.
    com::Variant number = com::Variant::i4(error);
    return method(dispid::Repair, {com::Variant::byRef(number)});
}

std::string CardCtl::ErrorMessage(std::int32_t error) {
    com::Variant v;
    if (!control_ ||
        !com::succeeded(com::getProperty(*control_, dispid::ErrorMessage, v, {com::Variant::i4(error)})))
        return {};
    return v.asString();
}

void CardCtl::AboutBox() {
    if (control_) com::callMethod(*control_, dispid::AboutBox, {});
}

}  // namespace card
