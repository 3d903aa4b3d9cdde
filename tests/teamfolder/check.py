"""What the share holds after a run of the team folder rigs, read on the server's side.

    check.py <what> <MainData.txt> <seconds> <saves> <changes> <A's output> <B's output>

Every template a saving copy was told it saved must be in the data file, each
of B's renamed ones under its new name, its deleted ones gone, and nothing
else there; a failure reported for a change that was made anyway fails too
(the user was told wrong), and so does one for a lock taken over (a live
copy's lock is never taken). Exits 1 and says what went wrong.
"""
import sys

what, data, seconds, saves, changes, a_out, b_out = sys.argv[1:]
names = [line.split(b"\t")[0].decode() for line in open(data, "rb").read().split(b"\r\n") if b"\t" in line]
reported = open(a_out).read().splitlines()
changed = open(b_out).read().splitlines()
saved = [line[6:] for line in reported if line.startswith("saved ")]
failed_a = [line for line in reported if line.startswith("failed ")]
renamed = [line[8:] + "-renamed" for line in changed if line.startswith("renamed ")]
deleted = [line[8:] for line in changed if line.startswith("deleted ")]
failed_b = [line for line in changed if line.startswith("failed ")]
lost = [name for name in saved + renamed if name not in names]
ghosts = [name for name in deleted if name in names]
# A live copy's lock is never taken over.
took = [line for line in failed_a + failed_b if "took over" in line]
# A save reported failed whose template is there all the same, or one of B's
# changes reported failed that was made (not one reported made but pending).
def name(line):
    return line[7:].split(":")[0]
told_failed = [line for line in failed_a + failed_b if not line.split(": ", 1)[1].startswith("pending")]
untrue = [line for line in told_failed if line.startswith("failed A") and name(line) in names]
untrue += [line for line in told_failed if line.startswith("failed B") and (name(line) + "-renamed" in names
           or (int(name(line).rsplit("-", 1)[1]) % 2 == 1 and name(line) not in names))]
print(f"{what}, {seconds} s: A reported {len(saved)} of {saves} saves ({len(failed_a)} failed), "
      f"B {len(renamed)} renames and {len(deleted)} deletes of {changes} ({len(failed_b)} failed); "
      f"kept {len(saved) - len([n for n in saved if n not in names])} of {len(saved)} saved, {len(names)} lines in all")
for line in failed_a + failed_b:
    print("  " + line)
expected = len(saved) + len(renamed) + (int(changes) - len(renamed) - len(deleted))
if lost or ghosts or untrue or took or len(names) != expected:
    print(f"FAIL: lost {lost}, deleted but there {ghosts}, reported failed but made {untrue}, "
          f"{len(took)} failed for a lock taken over, {len(names)} lines where {expected} were expected")
    sys.exit(1)
