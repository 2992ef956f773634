/*
 * The C interface between Beamwick and a brightness service module.
 *
 * A service module is a shared library that Beamwick loads at run time from its own module
 * folder. It exports one function, named by BW_SERVICE_LOOKUP_SYMBOL, that finds a client type
 * by name. Nothing but plain C types crosses this boundary, and no function may let a C++
 * exception escape.
 *
 * Values are numbers (integer or real), strings, and arrays of values. The brightness table is
 * an array of rows, each an array of numbers. A value passed into the module is borrowed for the
 * duration of the call. A value returned by copy_property belongs to the caller, who hands it
 * back through release_value of the same class.
 */
#ifndef BEAMWICK_SERVICE_ABI_H
#define BEAMWICK_SERVICE_ABI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Bumped whenever a layout below changes; a module of another version is not used. */
#define BW_SERVICE_ABI_VERSION 1u

#define BW_SERVICE_LOOKUP_SYMBOL "bw_service_lookup_class"

typedef enum bw_value_kind {
    BW_VALUE_INTEGER = 1,
    BW_VALUE_REAL = 2,
    BW_VALUE_STRING = 3,
    BW_VALUE_ARRAY = 4
} bw_value_kind;

typedef struct bw_value {
    int32_t kind;                 /* a bw_value_kind */
    int64_t integer;              /* BW_VALUE_INTEGER */
    double real;                  /* BW_VALUE_REAL */
    const char* string;           /* BW_VALUE_STRING: NUL-terminated UTF-8 */
    size_t count;                 /* BW_VALUE_ARRAY: number of items */
    const struct bw_value* items; /* BW_VALUE_ARRAY */
} bw_value;

/* A method implementation as looked up by selector name; cast to its real type before use. */
typedef void (*bw_imp)(void);

/* The implementation behind the selector "setProperty:forKey:". Returns non-zero on success. */
typedef int (*bw_set_property_imp)(void* self, const char* selector, const bw_value* value,
                                   const char* key);

typedef struct bw_service_class {
    uint32_t abi_version; /* must equal BW_SERVICE_ABI_VERSION */
    const char* name;
    /* The plain initialiser. May give NULL. */
    void* (*create)(void);
    void (*destroy)(void* self);
    /* NULL when the class has no method for the selector. */
    bw_imp (*method_implementation)(const char* selector);
    /* Sends a one-argument copy selector ("copyPropertyForKey:"). NULL when there is no value. */
    bw_value* (*copy_property)(void* self, const char* selector, const char* key);
    void (*release_value)(bw_value* value);
} bw_service_class;

typedef const bw_service_class* (*bw_service_lookup_fn)(const char* name);

#ifdef __cplusplus
}
#endif

#endif
