#pragma once

// The service access codes: typed into the date dialog's day field (the
// focus reset also into its month field), they run a service function
// instead of setting the clock. Two-digit values no day or month can take;
// part of the instrument's configuration, shown on no screen.
namespace ServiceCode {

inline constexpr int kLauncher = 77;
inline constexpr int kFactoryReset = 88;
inline constexpr int kAging = 66;
inline constexpr int kAutofocusDebug = 55;
inline constexpr int kPrintSettings = 44;
inline constexpr int kCapture = 99;
inline constexpr int kFocusReset = 33;
inline constexpr int kFocusResetMonth = 33;

}  // namespace ServiceCode
