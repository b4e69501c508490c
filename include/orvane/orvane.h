/** @file
 * The C interface of libOrvane: for hosts written in C or in any toolkit.
 *
 * The library hands out its objects (the control "Orvane.Orvane", the exchange
 * client "Orvane.OVHTTPClient" and the property bag "Orvane.PropertyBag")
 * through its class factory. A host reaches their properties, methods and
 * events by name, with the names and result codes of the C++ interface.
 *
 * Threads and event loop: every call is made on the host's UI thread. The
 * first call that needs one creates the library's application object on the
 * calling thread; its events run on that thread's GLib main context, so a host
 * that runs g_main_loop_run() or gtk's main loop drives the control with no
 * code of its own. Texts are UTF-8. Nothing here includes or needs Qt. */
#ifndef ORVANE_ORVANE_H
#define ORVANE_ORVANE_H

#include <stddef.h>
#include <stdint.h>

#ifndef ORVANE_EXPORT
#if defined(__GNUC__)
#define ORVANE_EXPORT __attribute__((visibility("default")))
#else
#define ORVANE_EXPORT
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/** Results of the functions of this interface (not the control's own result
 *  codes, which its methods return as values). */
enum OrvaneFactoryResult {
    ORVANE_S_OK = 0, /**< done */
    /** OrvaneCanUnloadNow: objects or locks are alive; OrvaneDisconnect: no such callback. */
    ORVANE_S_FALSE = 1,
    ORVANE_E_FAIL = -1, /**< an unexpected failure (logged), or the call itself failed */
    ORVANE_E_CLASSNOTAVAILABLE = -2, /**< no class of that identifier or name */
    ORVANE_E_POINTER = -3, /**< a pointer that must be given is NULL, or the object was released */
    /** No member of that name, or a value of the wrong type or out of range. */
    ORVANE_E_INVALIDARG = -4,
    /** Called from a thread other than the one the objects live on (the host's UI thread). */
    ORVANE_E_WRONGTHREAD = -5
};

/** The class object of one class (a C++ host sees an orvane::ClassFactory). */
typedef struct OrvaneClassObject OrvaneClassObject;
/** An object created through a class object; released with OrvaneRelease. */
typedef struct OrvaneObject OrvaneObject;

/** The type of a value passed to or from an object. */
typedef enum OrvaneType {
    ORVANE_TYPE_NONE = 0, /**< no value (a method without a result) */
    ORVANE_TYPE_INT, /**< whole number: integer, 16-bit or 32-bit properties and arguments */
    ORVANE_TYPE_BOOL, /**< 0 or 1 in i */
    ORVANE_TYPE_DOUBLE, /**< dates are OLE Automation dates */
    ORVANE_TYPE_TEXT, /**< UTF-8 text */
    ORVANE_TYPE_BYTES, /**< a picture as image file bytes (PNG when read) */
    ORVANE_TYPE_OBJECT /**< another object of this library */
} OrvaneType;

/** One value. Values the library fills (property reads, results, event
 *  arguments it hands out) own their text and bytes until OrvaneValueClear;
 *  values the host passes are only read. */
typedef struct OrvaneValue
{
    OrvaneType type; /**< which of the fields below holds the value */
    int32_t i; /**< ORVANE_TYPE_INT and ORVANE_TYPE_BOOL */
    double d; /**< ORVANE_TYPE_DOUBLE */
    const char *text; /**< ORVANE_TYPE_TEXT, UTF-8, ending with a 0 byte */
    const unsigned char *bytes; /**< ORVANE_TYPE_BYTES */
    size_t size; /**< the number of bytes */
    OrvaneObject *object; /**< ORVANE_TYPE_OBJECT */
} OrvaneValue;

/** Frees what a value filled by the library owns and sets it to none. */
ORVANE_EXPORT void OrvaneValueClear(OrvaneValue *value);

/* The four entry points of the component library. */

/** The class object for a class identifier ("{...}", any letter case) or a class name. */
ORVANE_EXPORT int OrvaneGetClassObject(const char *classIdOrName, OrvaneClassObject **classObject);
/** ORVANE_S_OK when no object handed out lives and no lock is held. */
ORVANE_EXPORT int OrvaneCanUnloadNow(void);
/** Records the classes and this library's path in the user's class registry
 *  ($XDG_DATA_HOME/Orvane/classes.ini) and links the Designer plugin into the
 *  user's Designer plugin folder (~/.designer/plugins). */
ORVANE_EXPORT int OrvaneRegisterServer(void);
/** Removes exactly what OrvaneRegisterServer recorded for this library. */
ORVANE_EXPORT int OrvaneUnregisterServer(void);

/* Class objects and objects. */

/** A new object of the class; the library's application object is created first if there is none. */
ORVANE_EXPORT int OrvaneCreateInstance(OrvaneClassObject *classObject, OrvaneObject **object);
/** A locked server stays loaded without live objects. */
ORVANE_EXPORT int OrvaneLockServer(OrvaneClassObject *classObject, int lock);
/** OrvaneGetClassObject and OrvaneCreateInstance in one call. */
ORVANE_EXPORT int OrvaneCreateObject(const char *classIdOrName, OrvaneObject **object);
/** Ends the object and frees its handle; its callbacks are not called again.
 *  Allowed inside one of its own callbacks; from another thread it does nothing. */
ORVANE_EXPORT void OrvaneRelease(OrvaneObject *object);
/** The object's class name, as "orvane::Orvane"; owned by the object. */
ORVANE_EXPORT const char *OrvaneClassName(const OrvaneObject *object);

/* Properties and methods by name. */

/** Reads a property into value (clear it with OrvaneValueClear). */
ORVANE_EXPORT int OrvaneGetProperty(OrvaneObject *object, const char *name, OrvaneValue *value);
/** Writes a property; a number out of the property's range is refused, never wrapped. */
ORVANE_EXPORT int OrvaneSetProperty(OrvaneObject *object, const char *name, const OrvaneValue *value);
/** Calls a method with argCount arguments; result (may be NULL) takes its
 *  result. An optional argument left out takes its default. */
ORVANE_EXPORT int OrvaneCall(
    OrvaneObject *object, const char *method, const OrvaneValue *args, int argCount, OrvaneValue *result);

/** Reads a whole-number or boolean property (a boolean as 0 or 1). */
ORVANE_EXPORT int OrvaneGetInt(OrvaneObject *object, const char *name, int32_t *value);
/** Writes a whole-number property; out of its range is refused. */
ORVANE_EXPORT int OrvaneSetInt(OrvaneObject *object, const char *name, int32_t value);
/** Reads a text property; the text is freed with OrvaneFree. */
ORVANE_EXPORT int OrvaneGetText(OrvaneObject *object, const char *name, char **text);
/** Writes a text property. */
ORVANE_EXPORT int OrvaneSetText(OrvaneObject *object, const char *name, const char *text);
/** Writes a boolean property (any value other than 0 is true). */
ORVANE_EXPORT int OrvaneSetBool(OrvaneObject *object, const char *name, int value);
/** Calls a method without arguments that returns a result code (StartTransfer, Show, ...). */
ORVANE_EXPORT int OrvaneCallInt(OrvaneObject *object, const char *method, int32_t *result);
/** Frees memory the library handed out (OrvaneGetText's text). */
ORVANE_EXPORT void OrvaneFree(void *memory);

/** One offered ad of the exchange client (its IncomingAd), texts owned by the record. */
typedef struct OrvaneIncomingAd
{
    char *AdGUID; /**< the ad's identifier, "{...}" */
    char *AdvertiserGUID; /**< the advertiser's identifier */
    char *AdvertiserName; /**< always empty */
    double ExpirationDate; /**< OLE Automation date, local time */
    int16_t Size; /**< ad size code */
    int16_t Rating; /**< content rating (OrvRating values) */
    int16_t ImageFormat; /**< image format code */
    char *ClickURL; /**< the address a click opens */
    char *ImageFileName; /**< the image's file name in the image folder */
} OrvaneIncomingAd;
/** The exchange client's offer at index (1-based); an empty record outside 1..AdCount. */
ORVANE_EXPORT int OrvaneGetIncomingAd(OrvaneObject *client, int16_t index, OrvaneIncomingAd *ad);
/** Frees the record's texts and empties it. */
ORVANE_EXPORT void OrvaneIncomingAdClear(OrvaneIncomingAd *ad);

/* Events. */

/** Called on the host's thread when the object raises the event; args lives for the call only. */
typedef void (*OrvaneEventCallback)(
    OrvaneObject *sender, const char *event, const OrvaneValue *args, int argCount, void *userData);
/** Calls callback with userData each time the event (TransferComplete, ProgressMessage, ...) is raised. */
ORVANE_EXPORT int OrvaneConnect(OrvaneObject *object, const char *event, OrvaneEventCallback callback, void *userData);
/** Removes the callback registered with the same event, callback and userData. */
ORVANE_EXPORT int OrvaneDisconnect(
    OrvaneObject *object, const char *event, OrvaneEventCallback callback, void *userData);

#ifdef __cplusplus
}
#endif

#endif /* ORVANE_ORVANE_H */
