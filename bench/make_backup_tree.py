#!/usr/bin/env python3
"""Creates a backup folder of N upper-case .DAT files spread over nested per-database folders,
with modification times spread over the days before a reference day.

usage: make_backup_tree.py FOLDER COUNT REFERENCE(yyyy-mm-dd) SPAN-DAYS"""
import datetime
import os
import sys

folder, count, reference, span = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
ref = datetime.datetime.fromisoformat(reference)
per_folder = 100
for i in range(count):
    sub = os.path.join(folder, f"DB{i // (per_folder * 10):03d}", f"part{(i // per_folder) % 10}")
    os.makedirs(sub, exist_ok=True)
    path = os.path.join(sub, f"DB_{i:06d}_INIT.DAT")
    with open(path, "wb") as f:
        f.write(b"x")
    when = (ref - datetime.timedelta(days=i % span, hours=1)).timestamp()
    os.utime(path, (when, when))
