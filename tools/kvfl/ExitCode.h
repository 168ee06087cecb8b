#pragma once

/// Exit statuses of the tool, all in one place; scripts tell a refused command line
/// from a failed operation by them. A refused command line takes EX_USAGE of
/// <sysexits.h> so that it never collides with the statuses upload gives the device's
/// refusals.
namespace ExitCode {

enum Status : int {
    Success = 0,
    Failure = 1,
    /// upload: the device's patch list must be erased before definitions can be written.
    PatchListNotEmpty = 2,
    /// upload: the device has too few free slots for the definitions.
    NotEnoughMemory = 3,
    /// upload: a definition has a channel count the devices refuse (DeviceFit::channelCountAccepted).
    ChannelRequirements = 4,
    /// Unknown command or option, missing or extra arguments, a bad option value.
    Usage = 64,
};

} // namespace ExitCode
