// Requests: stack locations, dispatch, completion and cancel.
#include <algorithm>
#include <cstring>

#include "internal.h"
#include "kernel/host.h"

namespace kernel {
namespace {

Status completeUnhandled(DeviceObject*, Irp* irp) {
    irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_INVALID_DEVICE_REQUEST;
}

void clearLocation(IoStackLocation* s) { *s = IoStackLocation{}; }

bool invokes(const IoStackLocation& s, const Irp& irp) {
    Status status = irp.IoStatus.Status;
    return (NT_SUCCESS(status) && (s.Control & SL_INVOKE_ON_SUCCESS)) ||
           (!NT_SUCCESS(status) && (s.Control & SL_INVOKE_ON_ERROR)) ||
           (irp.Cancel.load() && (s.Control & SL_INVOKE_ON_CANCEL));
}

}  // namespace

Irp* IoAllocateIrp(std::int8_t stackSize, bool) {
    hostAssert(stackSize > 0, "request without stack locations");
    auto* irp = new Irp;
    irp->StackCount = stackSize;
    irp->CurrentLocation = static_cast<std::int8_t>(stackSize + 1);
    irp->stack = new IoStackLocation[static_cast<std::size_t>(stackSize)];
    return irp;
}

void IoFreeIrp(Irp* irp) {
    if (!irp) return;
    delete[] irp->stack;
    delete irp;
}

void IoReuseIrp(Irp* irp, Status status) {
    hostAssert(irp->CancelRoutine.load() == nullptr, "request reused with a cancel routine set");
    for (int i = 0; i < irp->StackCount; ++i) clearLocation(&irp->stack[i]);
    irp->CurrentLocation = static_cast<std::int8_t>(irp->StackCount + 1);
    irp->IoStatus = IoStatusBlock{status, 0};
    irp->PendingReturned = false;
    irp->Cancel.store(false);
    irp->MdlAddress = nullptr;
    irp->AssociatedIrp.SystemBuffer = nullptr;
}

IoStackLocation* IoGetCurrentIrpStackLocation(Irp* irp) {
    hostAssert(irp->CurrentLocation >= 1 && irp->CurrentLocation <= irp->StackCount,
               "request has no current stack location");
    return &irp->stack[irp->CurrentLocation - 1];
}

IoStackLocation* IoGetNextIrpStackLocation(Irp* irp) {
    hostAssert(irp->CurrentLocation >= 2, "request has no next stack location");
    return &irp->stack[irp->CurrentLocation - 2];
}

void IoSkipCurrentIrpStackLocation(Irp* irp) {
    hostAssert(irp->CurrentLocation <= irp->StackCount, "skip past the top of the request");
    ++irp->CurrentLocation;
}

void IoSetNextIrpStackLocation(Irp* irp) {
    hostAssert(irp->CurrentLocation >= 2, "request has no next stack location");
    --irp->CurrentLocation;
}

void IoCopyCurrentIrpStackLocationToNext(Irp* irp) {
    IoStackLocation* current = IoGetCurrentIrpStackLocation(irp);
    IoStackLocation* next = IoGetNextIrpStackLocation(irp);
    *next = *current;
    next->CompletionRoutine = nullptr;
    next->Context = nullptr;
    next->Control = 0;
}

void IoMarkIrpPending(Irp* irp) { IoGetCurrentIrpStackLocation(irp)->Control |= SL_PENDING_RETURNED; }

void IoSetCompletionRoutine(Irp* irp, IoCompletionRoutine routine, void* context,
                            bool onSuccess, bool onError, bool onCancel) {
    IoStackLocation* next = IoGetNextIrpStackLocation(irp);
    next->CompletionRoutine = routine;
    next->Context = context;
    next->Control = 0;
    if (onSuccess) next->Control |= SL_INVOKE_ON_SUCCESS;
    if (onError) next->Control |= SL_INVOKE_ON_ERROR;
    if (onCancel) next->Control |= SL_INVOKE_ON_CANCEL;
}

Status IoCallDriver(DeviceObject* device, Irp* irp) {
    hostAssert(KeGetCurrentIrql() <= DISPATCH_LEVEL, "IoCallDriver above dispatch level");
    hostAssert(irp->CurrentLocation >= 2, "request sent down with no stack location left");
    --irp->CurrentLocation;
    IoStackLocation* s = IoGetCurrentIrpStackLocation(irp);
    s->DeviceObject = device;
    DriverDispatch dispatch = device->DriverObject->MajorFunction[s->MajorFunction];
    if (!dispatch) dispatch = completeUnhandled;
    return dispatch(device, irp);
}

void IoCompleteRequest(Irp* irp, std::int8_t) {
    hostAssert(KeGetCurrentIrql() <= DISPATCH_LEVEL, "IoCompleteRequest above dispatch level");
    hostAssert(irp->IoStatus.Status != STATUS_PENDING, "request completed with STATUS_PENDING");
    hostAssert(irp->CurrentLocation <= irp->StackCount, "request completed twice");
    hostAssert(irp->CancelRoutine.load() == nullptr, "request completed with its cancel routine set");
    while (irp->CurrentLocation <= irp->StackCount) {
        IoStackLocation* s = &irp->stack[irp->CurrentLocation - 1];
        irp->PendingReturned = (s->Control & SL_PENDING_RETURNED) != 0;
        ++irp->CurrentLocation;
        bool top = irp->CurrentLocation > irp->StackCount;
        if (s->CompletionRoutine && invokes(*s, *irp)) {
            IoCompletionRoutine routine = s->CompletionRoutine;
            void* context = s->Context;
            clearLocation(s);
            DeviceObject* owner = top ? nullptr : irp->stack[irp->CurrentLocation - 1].DeviceObject;
            if (routine(owner, irp, context) == STATUS_MORE_PROCESSING_REQUIRED) return;
        } else {
            clearLocation(s);
            if (irp->PendingReturned && !top) IoMarkIrpPending(irp);
        }
    }
    if (irp->origin == Irp::Origin::Host && irp->onFinished) {
        auto finished = std::move(irp->onFinished);  // it may free the request
        irp->onFinished = nullptr;
        finished(irp);
        return;
    }
    assertionFailed("an allocated request completed past its owner");
}

DriverCancel IoSetCancelRoutine(Irp* irp, DriverCancel routine) {
    return irp->CancelRoutine.exchange(routine);
}

bool IoCancelIrp(Irp* irp) {
    irp->Cancel.store(true);
    DriverCancel routine = irp->CancelRoutine.exchange(nullptr);
    if (!routine) return false;
    DeviceObject* device = nullptr;
    if (irp->CurrentLocation >= 1 && irp->CurrentLocation <= irp->StackCount)
        device = irp->stack[irp->CurrentLocation - 1].DeviceObject;
    IrqlScope dispatch(DISPATCH_LEVEL);
    routine(device, irp);
    return true;
}

Irp* IoBuildDeviceIoControlRequest(std::uint32_t code, DeviceObject* device, void* input,
                                   std::uint32_t inputLength, void* output,
                                   std::uint32_t outputLength, bool internal, Event* event,
                                   IoStatusBlock* statusBlock) {
    Irp* irp = IoAllocateIrp(device->StackSize, false);
    IoStackLocation* s = &irp->stack[irp->StackCount - 1];
    s->MajorFunction = internal ? IRP_MJ_INTERNAL_DEVICE_CONTROL : IRP_MJ_DEVICE_CONTROL;
    s->Parameters.DeviceIoControl.IoControlCode = code;
    s->Parameters.DeviceIoControl.InputBufferLength = inputLength;
    s->Parameters.DeviceIoControl.OutputBufferLength = outputLength;
    std::uint32_t method = code & 3;
    std::byte* system = nullptr;
    if (method != METHOD_NEITHER) {
        std::size_t size = std::max(inputLength, outputLength);
        if (size) {
            system = new std::byte[size]();
            if (input && inputLength) std::memcpy(system, input, inputLength);
        }
        irp->AssociatedIrp.SystemBuffer = system;
        if (method != METHOD_BUFFERED && output && outputLength)
            IoAllocateMdl(output, outputLength, false, false, irp);
    } else {
        s->Parameters.DeviceIoControl.Type3InputBuffer = input;
        irp->UserBuffer = output;
    }
    irp->UserEvent = event;
    irp->UserIosb = statusBlock;
    irp->origin = Irp::Origin::Host;
    irp->onFinished = [system, output, outputLength, method](Irp* done) {
        if (method == METHOD_BUFFERED && system && output && NT_SUCCESS(done->IoStatus.Status)) {
            std::size_t n = std::min<std::size_t>(done->IoStatus.Information, outputLength);
            std::memcpy(output, system, n);
        }
        delete[] system;
        if (done->MdlAddress) IoFreeMdl(done->MdlAddress);
        if (done->UserIosb) *done->UserIosb = done->IoStatus;
        Event* e = done->UserEvent;
        IoFreeIrp(done);
        if (e) KeSetEvent(e, 0, false);
    };
    return irp;
}

}  // namespace kernel
