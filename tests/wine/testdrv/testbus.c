/* duodesk-testbus.sys: a Plug and Play test driver that stands in for the adapter's driver under Wine.
 *
 * It drives a root-enumerated bus device (hardware id "duodesk_testbus", installed from testbus.inf by
 * testbus-ctl.exe). On the controller's request the bus reports a child, or drops it; each child carries
 * a USB id text ("vid_5a1e&pid_7300"), has the device id USB\VID_5A1E&PID_7300 and, once started,
 * exposes the USB device interface class. The children are raw devices: no function driver is loaded
 * for them, and their own requests come here.
 *
 * A child answers the adapter's five requests with the buffers the program sends and reads:
 *   IOCTL_DEV_READY, IOCTL_MIR_DEV_READY   output one word, 0 to the first N polls after the plug-in
 *                                           (N set with IOCTL_TESTBUS_READY), then 1
 *   IOCTL_SET_MIRROR, IOCTL_SET_ROTATION   input one word
 *   IOCTL_SET_MIRROR_CENTER                input 28 bytes
 * Every request, open and close of a child and every Plug and Play step is written to a log that the
 * controller reads back (IOCTL_TESTBUS_LOG); a driver request as the simulator's dump writes it:
 *   driver vid_5a1e&pid_7300 IOCTL_DEV_READY in - out 0 ok
 *
 * Test equipment: built with the 64-bit Windows executables, never installed by the setup programs and
 * never shipped. */
#include <ntddk.h>
#include <stdarg.h>
#include <stdio.h>
#include <wchar.h>

#include "testbus.h"

/* GUID_DEVINTERFACE_USB_DEVICE */
static const GUID usb_device_class = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

#define IOCTL_DEV_READY CTL_CODE(FILE_DEVICE_UNKNOWN, 0x851, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_SET_MIRROR CTL_CODE(FILE_DEVICE_UNKNOWN, 0x852, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_MIR_DEV_READY CTL_CODE(FILE_DEVICE_UNKNOWN, 0x853, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_SET_ROTATION CTL_CODE(FILE_DEVICE_UNKNOWN, 0x85F, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_SET_MIRROR_CENTER CTL_CODE(FILE_DEVICE_UNKNOWN, 0x866, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define MIRROR_CENTER_BYTES 28

#define LOG_BYTES 32768
#define POOL_TAG 0x62546444 /* "DdTb" */

struct child {
    DEVICE_OBJECT* pdo;
    char id[TESTBUS_ID_CHARS];
    ULONG serial;     /* its instance id */
    BOOLEAN reported; /* in the bus's relations */
    BOOLEAN started;
    UNICODE_STRING link; /* the USB interface's symbolic link, once registered */
    ULONG ready_after, mirror_ready_after, ready_polls, mirror_ready_polls;
};

static DRIVER_OBJECT* the_driver;
static DEVICE_OBJECT *bus_fdo, *bus_pdo;
static KSPIN_LOCK lock;
static ULONG ready_after, mirror_ready_after, child_serial;
static char* log_text;
static ULONG log_used;
static BOOLEAN bus_link_made;

/* ---- the log ---------------------------------------------------------------------------------------- */

static void log_line(const char* format, ...) {
    char line[256];
    va_list args;
    KIRQL irql;
    int n;

    va_start(args, format);
    n = _vsnprintf(line, sizeof(line) - 1, format, args);
    va_end(args);
    if (n < 0 || n > (int)sizeof(line) - 2)
        n = sizeof(line) - 2;
    line[n++] = '\n';
    KeAcquireSpinLock(&lock, &irql);
    if (log_text && log_used + n <= LOG_BYTES) {
        RtlCopyMemory(log_text + log_used, line, n);
        log_used += n;
    }
    KeReleaseSpinLock(&lock, irql);
}

/* The bytes as the simulator's dump prints them: two lower-case hex digits each, "-" for none. */
static void hex_text(char* out, ULONG out_size, const UCHAR* bytes, ULONG count) {
    static const char digits[] = "0123456789abcdef";
    ULONG i;

    if (!count || !bytes) {
        out[0] = '-';
        out[1] = 0;
        return;
    }
    for (i = 0; i < count && 2 * i + 2 < out_size; ++i) {
        out[2 * i] = digits[bytes[i] >> 4];
        out[2 * i + 1] = digits[bytes[i] & 15];
    }
    out[2 * i] = 0;
}

/* ---- the children ----------------------------------------------------------------------------------- */

static struct child* child_of(DEVICE_OBJECT* device) {
    return device == bus_fdo ? NULL : (struct child*)device->DeviceExtension;
}

static ULONG text_length(const char* text, ULONG limit) {
    ULONG n = 0;
    while (n < limit && text[n])
        ++n;
    return n;
}

static BOOLEAN same_text(const char* a, const char* b) {
    while (*a && *a == *b)
        ++a, ++b;
    return *a == *b;
}

/* An id text from a request's buffer, cut to the room a child has for it. */
static BOOLEAN read_id(IRP* irp, IO_STACK_LOCATION* stack, char* id) {
    ULONG size = stack->Parameters.DeviceIoControl.InputBufferLength, n;
    const char* in = irp->AssociatedIrp.SystemBuffer;

    if (!in || !size)
        return FALSE;
    n = text_length(in, size < TESTBUS_ID_CHARS - 1 ? size : TESTBUS_ID_CHARS - 1);
    RtlCopyMemory(id, in, n);
    id[n] = 0;
    return n > 0;
}

static NTSTATUS plug_child(const char* id) {
    WCHAR name_text[48];
    UNICODE_STRING name;
    DEVICE_OBJECT* pdo;
    struct child* child;
    NTSTATUS status;
    ULONG serial;
    KIRQL irql;

    KeAcquireSpinLock(&lock, &irql);
    serial = ++child_serial;
    KeReleaseSpinLock(&lock, irql);
    _snwprintf(name_text, ARRAYSIZE(name_text) - 1, L"\\Device\\DuodeskTestChild%lu", serial);
    name_text[ARRAYSIZE(name_text) - 1] = 0;
    RtlInitUnicodeString(&name, name_text);
    status = IoCreateDevice(the_driver, sizeof(*child), &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &pdo);
    if (status)
        return status;
    child = pdo->DeviceExtension;
    RtlZeroMemory(child, sizeof(*child));
    child->pdo = pdo;
    child->serial = serial;
    RtlCopyMemory(child->id, id, text_length(id, TESTBUS_ID_CHARS - 1));
    child->ready_after = ready_after;
    child->mirror_ready_after = mirror_ready_after;
    child->reported = TRUE;
    pdo->Flags &= ~DO_DEVICE_INITIALIZING;
    log_line("plug %s", child->id);
    IoInvalidateDeviceRelations(bus_pdo, BusRelations);
    return STATUS_SUCCESS;
}

static NTSTATUS unplug_child(const char* id) {
    DEVICE_OBJECT* device;
    BOOLEAN found = FALSE;

    for (device = the_driver->DeviceObject; device; device = device->NextDevice) {
        struct child* child = child_of(device);
        if (child && child->reported && same_text(child->id, id)) {
            child->reported = FALSE;
            found = TRUE;
            break;
        }
    }
    if (!found)
        return STATUS_NO_SUCH_DEVICE;
    log_line("unplug %s", id);
    IoInvalidateDeviceRelations(bus_pdo, BusRelations);
    return STATUS_SUCCESS;
}

static NTSTATUS bus_relations(IRP* irp) {
    DEVICE_RELATIONS* relations;
    DEVICE_OBJECT* device;
    ULONG count = 0;

    for (device = the_driver->DeviceObject; device; device = device->NextDevice)
        if (child_of(device) && child_of(device)->reported)
            ++count;
    relations =
        ExAllocatePoolWithTag(PagedPool, sizeof(*relations) + count * sizeof(DEVICE_OBJECT*), POOL_TAG);
    if (!relations)
        return STATUS_INSUFFICIENT_RESOURCES;
    relations->Count = 0;
    for (device = the_driver->DeviceObject; device; device = device->NextDevice) {
        if (!child_of(device) || !child_of(device)->reported)
            continue;
        ObReferenceObject(device);
        relations->Objects[relations->Count++] = device;
    }
    irp->IoStatus.Information = (ULONG_PTR)relations;
    return STATUS_SUCCESS;
}

/* ---- Plug and Play ---------------------------------------------------------------------------------- */

static NTSTATUS bus_pnp(IRP* irp, IO_STACK_LOCATION* stack) {
    DEVICE_OBJECT* lower = bus_pdo;

    switch (stack->MinorFunction) {
    case IRP_MN_QUERY_DEVICE_RELATIONS:
        if (stack->Parameters.QueryDeviceRelations.Type == BusRelations)
            irp->IoStatus.Status = bus_relations(irp);
        break;
    case IRP_MN_START_DEVICE:
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_SURPRISE_REMOVAL:
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    case IRP_MN_REMOVE_DEVICE: {
        UNICODE_STRING link;
        NTSTATUS status;

        irp->IoStatus.Status = STATUS_SUCCESS;
        IoSkipCurrentIrpStackLocation(irp);
        status = IoCallDriver(lower, irp);
        if (bus_link_made) {
            RtlInitUnicodeString(&link, TESTBUS_LINK_NAME);
            IoDeleteSymbolicLink(&link);
            bus_link_made = FALSE;
        }
        IoDetachDevice(lower);
        IoDeleteDevice(bus_fdo);
        bus_fdo = bus_pdo = NULL;
        return status;
    }
    }
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(lower, irp);
}

/* A multi-string of one text, in pool memory, as a query-id answer. */
static WCHAR* id_answer(const char* prefix, const char* text, BOOLEAN upper) {
    ULONG n = 0, i;
    WCHAR* out = ExAllocatePoolWithTag(PagedPool, 96 * sizeof(WCHAR), POOL_TAG);

    if (!out)
        return NULL;
    for (i = 0; prefix[i] && n < 90; ++i)
        out[n++] = prefix[i];
    for (i = 0; text[i] && n < 90; ++i) {
        char c = text[i];
        if (upper && c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
        out[n++] = c;
    }
    out[n++] = 0;
    out[n] = 0;
    return out;
}

static NTSTATUS child_query_id(struct child* child, IRP* irp, BUS_QUERY_ID_TYPE type) {
    char serial[16];
    WCHAR* answer;

    switch (type) {
    case BusQueryDeviceID:
    case BusQueryHardwareIDs:
        answer = id_answer("USB\\", child->id, TRUE);
        break;
    case BusQueryCompatibleIDs:
        answer = id_answer("USB\\Class_FF", "", FALSE);
        break;
    case BusQueryInstanceID:
        _snprintf(serial, sizeof(serial) - 1, "%lu", child->serial);
        serial[sizeof(serial) - 1] = 0;
        answer = id_answer("", serial, FALSE);
        break;
    default:
        return irp->IoStatus.Status;
    }
    if (!answer)
        return STATUS_INSUFFICIENT_RESOURCES;
    irp->IoStatus.Information = (ULONG_PTR)answer;
    return STATUS_SUCCESS;
}

static void child_disable(struct child* child) {
    if (!child->started)
        return;
    child->started = FALSE;
    IoSetDeviceInterfaceState(&child->link, FALSE);
}

static NTSTATUS child_pnp(struct child* child, IRP* irp, IO_STACK_LOCATION* stack) {
    NTSTATUS status = irp->IoStatus.Status;

    switch (stack->MinorFunction) {
    case IRP_MN_QUERY_ID:
        status = child_query_id(child, irp, stack->Parameters.QueryId.IdType);
        break;
    case IRP_MN_QUERY_CAPABILITIES: {
        DEVICE_CAPABILITIES* caps = stack->Parameters.DeviceCapabilities.Capabilities;
        /* A raw device is started without a function driver. */
        caps->RawDeviceOK = 1;
        caps->SurpriseRemovalOK = 1;
        caps->Removable = 1;
        caps->UniqueID = 0;
        status = STATUS_SUCCESS;
        break;
    }
    case IRP_MN_QUERY_DEVICE_RELATIONS:
        /* A handle notification names the device of the handle by its target relation. */
        if (stack->Parameters.QueryDeviceRelations.Type == TargetDeviceRelation) {
            DEVICE_RELATIONS* relations = ExAllocatePoolWithTag(PagedPool, sizeof(*relations), POOL_TAG);
            if (!relations) {
                status = STATUS_INSUFFICIENT_RESOURCES;
                break;
            }
            ObReferenceObject(child->pdo);
            relations->Count = 1;
            relations->Objects[0] = child->pdo;
            irp->IoStatus.Information = (ULONG_PTR)relations;
            status = STATUS_SUCCESS;
        }
        break;
    case IRP_MN_START_DEVICE:
        if (!child->link.Buffer)
            status = IoRegisterDeviceInterface(child->pdo, &usb_device_class, NULL, &child->link);
        else
            status = STATUS_SUCCESS;
        if (!status) {
            child->started = TRUE;
            child->ready_polls = child->mirror_ready_polls = 0;
            log_line("start %s", child->id);
            IoSetDeviceInterfaceState(&child->link, TRUE);
        }
        break;
    case IRP_MN_QUERY_REMOVE_DEVICE:
        log_line("query-remove %s", child->id);
        status = STATUS_SUCCESS;
        break;
    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
    case IRP_MN_STOP_DEVICE:
        status = STATUS_SUCCESS;
        break;
    case IRP_MN_SURPRISE_REMOVAL:
        log_line("surprise-removal %s", child->id);
        child_disable(child);
        status = STATUS_SUCCESS;
        break;
    case IRP_MN_REMOVE_DEVICE:
        log_line("remove %s", child->id);
        child_disable(child);
        if (!child->reported) {
            /* Gone from the bus: the device goes with it. */
            if (child->link.Buffer)
                RtlFreeUnicodeString(&child->link);
            irp->IoStatus.Status = STATUS_SUCCESS;
            IoCompleteRequest(irp, IO_NO_INCREMENT);
            IoDeleteDevice(child->pdo);
            return STATUS_SUCCESS;
        }
        status = STATUS_SUCCESS;
        break;
    }
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS WINAPI dispatch_pnp(DEVICE_OBJECT* device, IRP* irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    struct child* child = child_of(device);

    return child ? child_pnp(child, irp, stack) : bus_pnp(irp, stack);
}

/* ---- the requests ------------------------------------------------------------------------------------ */

static const char* request_name(ULONG code) {
    switch (code) {
    case IOCTL_DEV_READY:
        return "IOCTL_DEV_READY";
    case IOCTL_SET_MIRROR:
        return "IOCTL_SET_MIRROR";
    case IOCTL_MIR_DEV_READY:
        return "IOCTL_MIR_DEV_READY";
    case IOCTL_SET_ROTATION:
        return "IOCTL_SET_ROTATION";
    case IOCTL_SET_MIRROR_CENTER:
        return "IOCTL_SET_MIRROR_CENTER";
    default:
        return "IOCTL_UNKNOWN";
    }
}

/* 0 to the first `after` polls since the plug-in, then 1; ~0 never answers 1. */
static ULONG ready_answer(ULONG after, ULONG* polls) {
    if (after == ~0u)
        return 0;
    return (*polls)++ < after ? 0 : 1;
}

static NTSTATUS child_request(struct child* child, IRP* irp, IO_STACK_LOCATION* stack) {
    ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    ULONG in_size = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG out_size = stack->Parameters.DeviceIoControl.OutputBufferLength;
    UCHAR* buffer = irp->AssociatedIrp.SystemBuffer;
    char input[2 * MIRROR_CENTER_BYTES + 2], output[16] = "-";
    NTSTATUS status = STATUS_SUCCESS;

    hex_text(input, sizeof(input), buffer, in_size < MIRROR_CENTER_BYTES ? in_size : MIRROR_CENTER_BYTES);
    switch (code) {
    case IOCTL_DEV_READY:
    case IOCTL_MIR_DEV_READY:
        if (!buffer || out_size < sizeof(ULONG))
            status = STATUS_BUFFER_TOO_SMALL;
        else {
            ULONG answer = code == IOCTL_DEV_READY
                               ? ready_answer(child->ready_after, &child->ready_polls)
                               : ready_answer(child->mirror_ready_after, &child->mirror_ready_polls);
            *(ULONG*)buffer = answer;
            irp->IoStatus.Information = sizeof(ULONG);
            _snprintf(output, sizeof(output) - 1, "%lu", answer);
        }
        break;
    case IOCTL_SET_MIRROR:
    case IOCTL_SET_ROTATION:
        if (in_size < sizeof(ULONG))
            status = STATUS_INVALID_PARAMETER;
        break;
    case IOCTL_SET_MIRROR_CENTER:
        if (in_size != MIRROR_CENTER_BYTES)
            status = STATUS_INVALID_PARAMETER;
        break;
    default:
        status = STATUS_INVALID_DEVICE_REQUEST;
        break;
    }
    log_line("driver %s %s in %s out %s %s", child->id, request_name(code), input, output,
             status ? "fail" : "ok");
    return status;
}

static NTSTATUS bus_request(IRP* irp, IO_STACK_LOCATION* stack) {
    char id[TESTBUS_ID_CHARS];
    ULONG* words = irp->AssociatedIrp.SystemBuffer;
    KIRQL irql;

    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_TESTBUS_PLUG:
        return read_id(irp, stack, id) ? plug_child(id) : STATUS_INVALID_PARAMETER;
    case IOCTL_TESTBUS_UNPLUG:
        return read_id(irp, stack, id) ? unplug_child(id) : STATUS_INVALID_PARAMETER;
    case IOCTL_TESTBUS_READY:
        if (stack->Parameters.DeviceIoControl.InputBufferLength < 2 * sizeof(ULONG))
            return STATUS_INVALID_PARAMETER;
        ready_after = words[0];
        mirror_ready_after = words[1];
        return STATUS_SUCCESS;
    case IOCTL_TESTBUS_LOG: {
        ULONG size = stack->Parameters.DeviceIoControl.OutputBufferLength, n;
        KeAcquireSpinLock(&lock, &irql);
        n = log_used < size ? log_used : size;
        if (n)
            RtlCopyMemory(irp->AssociatedIrp.SystemBuffer, log_text, n);
        KeReleaseSpinLock(&lock, irql);
        irp->IoStatus.Information = n;
        return STATUS_SUCCESS;
    }
    default:
        return STATUS_INVALID_DEVICE_REQUEST;
    }
}

static NTSTATUS WINAPI dispatch_request(DEVICE_OBJECT* device, IRP* irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    struct child* child = child_of(device);
    NTSTATUS status;

    irp->IoStatus.Information = 0;
    status = child ? child_request(child, irp, stack) : bus_request(irp, stack);
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS WINAPI dispatch_open_close(DEVICE_OBJECT* device, IRP* irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    struct child* child = child_of(device);

    if (child && stack->MajorFunction == IRP_MJ_CREATE)
        log_line("open %s", child->id);
    if (child && stack->MajorFunction == IRP_MJ_CLOSE)
        log_line("close %s", child->id);
    irp->IoStatus.Status = STATUS_SUCCESS;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
}

/* ---- the driver ------------------------------------------------------------------------------------- */

static NTSTATUS WINAPI add_device(DRIVER_OBJECT* driver, DEVICE_OBJECT* pdo) {
    UNICODE_STRING name, link;
    NTSTATUS status;

    if (bus_fdo)
        return STATUS_DEVICE_ALREADY_ATTACHED;
    RtlInitUnicodeString(&name, TESTBUS_DEVICE_NAME);
    status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_BUS_EXTENDER, 0, FALSE, &bus_fdo);
    if (status)
        return status;
    RtlInitUnicodeString(&link, TESTBUS_LINK_NAME);
    bus_link_made = !IoCreateSymbolicLink(&link, &name);
    IoAttachDeviceToDeviceStack(bus_fdo, pdo);
    bus_pdo = pdo;
    bus_fdo->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

static void WINAPI unload(DRIVER_OBJECT* driver) {
    (void)driver;
    if (log_text)
        ExFreePoolWithTag(log_text, POOL_TAG);
    log_text = NULL;
}

NTSTATUS WINAPI DriverEntry(DRIVER_OBJECT* driver, UNICODE_STRING* registry) {
    (void)registry;
    the_driver = driver;
    KeInitializeSpinLock(&lock);
    log_text = ExAllocatePoolWithTag(NonPagedPool, LOG_BYTES, POOL_TAG);
    if (!log_text)
        return STATUS_INSUFFICIENT_RESOURCES;
    driver->MajorFunction[IRP_MJ_CREATE] = dispatch_open_close;
    driver->MajorFunction[IRP_MJ_CLOSE] = dispatch_open_close;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_request;
    driver->MajorFunction[IRP_MJ_PNP] = dispatch_pnp;
    driver->DriverExtension->AddDevice = add_device;
    driver->DriverUnload = unload;
    return STATUS_SUCCESS;
}
