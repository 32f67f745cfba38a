// Media probing and frame capture on FFmpeg; filled in by the video work.
