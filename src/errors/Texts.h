#pragma once

#include <string_view>

// Every failure and status text the user can meet, in one place. Titles are short phrases without a
// final period; messages are sentences that say what to do.
namespace pelliqo::text {

inline constexpr std::string_view diskFull = "The disk is full. Free some space and try again.";
inline constexpr std::string_view fileTooLarge =
    "The file is too large for this disk. Disks formatted as FAT32, as many USB sticks are, "
    "hold files of up to 4 GB.";
inline constexpr std::string_view diskGone =
    "The disk can't be reached. If it is a USB stick, an external disk or a network folder, check "
    "that it is still connected, then try again.";
inline constexpr std::string_view cameraGone =
    "The camera was disconnected. Connect it again, or choose another camera.";
inline constexpr std::string_view cancelled = "Cancelled.";

namespace title {
inline constexpr std::string_view cameraStopped = "The camera stopped";
inline constexpr std::string_view cameraUnavailable = "Camera unavailable";
inline constexpr std::string_view processingStopped = "Processing stopped";
inline constexpr std::string_view recordingStopped = "Recording stopped";
inline constexpr std::string_view couldNotStartRecording = "Couldn't start recording";
inline constexpr std::string_view recordingNotSaved = "The recording couldn't be saved";
inline constexpr std::string_view noCameraFound = "No camera found";
inline constexpr std::string_view noPicturesFromCamera = "No pictures from the camera";
inline constexpr std::string_view cannotReadFile = "Can't read this file";
inline constexpr std::string_view chooseAnotherName = "Choose another name";
inline constexpr std::string_view notEnoughDiskSpace = "Not enough disk space";
inline constexpr std::string_view cameraNotReady = "Camera not ready";
inline constexpr std::string_view microphoneStopped = "The microphone stopped";
inline constexpr std::string_view cameraOutputStopped = "Camera output stopped";
}  // namespace title

// Reports a model builds itself: the same sentence is message and details.
namespace report {
inline constexpr std::string_view noCameraFound = "Connect a camera and choose it from the list.";
inline constexpr std::string_view cameraRefused =
    "This camera can't be used right now. It may be in use by another app.";
inline constexpr std::string_view noFrames =
    "The camera started but sent no frames. Another app may be using it. Close other apps that "
    "use the camera, then choose the camera again.";
inline constexpr std::string_view framesStopped =
    "The camera stopped sending pictures. Choose the camera again, or unplug it and plug it in "
    "again.";
// Follows the file's name: "clip.xyz isn't a video this computer can read."
inline constexpr std::string_view unreadableVideoSuffix = " isn't a video this computer can read.";
inline constexpr std::string_view sameFile = "The new video can't replace the original file.";
inline constexpr std::string_view exportNoRoom =
    "The disk may not have room for the finished video. Free some space or choose another "
    "folder.";
inline constexpr std::string_view recordingNoRoom =
    "There is less than 500 MB free on the disk that holds your Videos folder. Free some space "
    "and try again.";
inline constexpr std::string_view cameraNotReady =
    "Wait until the preview is showing, then press Record.";
inline constexpr std::string_view microphoneStopped =
    "Recording goes on without sound. Check the microphone, then choose it again from the list.";
}  // namespace report

// Sentences the pipelines raise as AppErr::message.
namespace failure {
inline constexpr std::string_view recordingFileNotCreated =
    "The recording file could not be created.";
inline constexpr std::string_view originalFileNotCreated =
    "The original-take file could not be created.";
inline constexpr std::string_view liveH264Unsupported =
    "This computer can't write H.264 video with these settings.";
inline constexpr std::string_view liveAlphaUnsupported =
    "This computer can't write ProRes 4444 video with transparency. Choose another background.";
inline constexpr std::string_view writingVideoFailed = "Writing the video failed.";
inline constexpr std::string_view recordingNotFinished = "The recording could not be finished.";
inline constexpr std::string_view nothingRecorded = "Nothing is being recorded.";
inline constexpr std::string_view noVideoFrames = "No video frames arrived, so nothing was saved.";
inline constexpr std::string_view notAVideo = "This file can't be read as a video.";
inline constexpr std::string_view videoTrackUndecodable =
    "The video track can't be decoded on this computer.";
inline constexpr std::string_view h264SizeUnsupported =
    "This computer can't write H.264 video at this size.";
inline constexpr std::string_view alphaUnsupported =
    "This computer can't write ProRes 4444 video with transparency.";
inline constexpr std::string_view outputNotCreated = "The output file can't be created.";
inline constexpr std::string_view videoUnreadable = "The video can't be read.";
inline constexpr std::string_view writingAudioFailed = "Writing the audio failed.";
inline constexpr std::string_view videoNotFinished = "The video could not be finished.";
}  // namespace failure

// How an export is getting on.
namespace status {
inline constexpr std::string_view starting = "Starting…";
inline constexpr std::string_view estimating = "Estimating time left…";
inline constexpr std::string_view done = "Done";
}  // namespace status

}  // namespace pelliqo::text
