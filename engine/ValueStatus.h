#pragma once

// Status carried by currency and date values, as the OLE value types keep it.
enum class EValueStatus { Valid, Invalid, Null };
