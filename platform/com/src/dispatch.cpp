#include "com/dispatch.h"

namespace com {

HResult callMethod(Dispatch& d, DispId id, std::vector<Variant> args, Variant* result) {
    return d.invoke(id, Invoke::Method, args, result);
}

HResult getProperty(Dispatch& d, DispId id, Variant& result, std::vector<Variant> index) {
    return d.invoke(id, Invoke::PropertyGet, index, &result);
}

HResult putProperty(Dispatch& d, DispId id, Variant value) {
    std::vector<Variant> args{std::move(value)};
    return d.invoke(id, Invoke::PropertyPut, args, nullptr);
}

}  // namespace com
