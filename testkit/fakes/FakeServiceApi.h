#pragma once

// Test-only entry points of the recording service module, besides the service interface.
#include "serviceabi/service_abi.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*fake_service_reset_fn)(void);
typedef void (*fake_service_set_property_fn)(const char* key, const bw_value* value);
typedef void (*fake_service_set_refusing_fn)(const char* key, int refusing);
typedef size_t (*fake_service_write_count_fn)(void);
typedef const char* (*fake_service_write_key_fn)(size_t index);
typedef const bw_value* (*fake_service_write_value_fn)(size_t index);
typedef size_t (*fake_service_count_fn)(void);

#ifdef __cplusplus
}
#endif
