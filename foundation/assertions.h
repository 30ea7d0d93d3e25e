#pragma once
// End the process on misuse of a smart pointer.
[[noreturn]] void SmartPtrAssertion();
[[noreturn]] void SharedPtrAssertion();
