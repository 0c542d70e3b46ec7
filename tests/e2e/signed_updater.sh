#!/usr/bin/env bash
# The updater signed by `pack sign` (Authenticode through osslsigncode, with a
# throwaway self-signed certificate): the signature verifies against that
# certificate, a copy with one payload byte changed does not, and the signed
# updater patches a Kestrin 5.0 installation at the old default paths to
# 5.0.3 through its dialog, finding its blocks before the certificate table.
. "$DV_TOP/scripts/sample-update.sh"
for tool in openssl osslsigncode; do
  command -v $tool >/dev/null || { fail "no $tool (scripts/setup.sh installs it)"; finish; }
done
fresh_prefix
make_updater || finish
packer=$DV_BUILD/../host/tools/pack/pack
signed=$scratch/DV503Updater-signed.exe
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Halvern test signing" \
  -addext extendedKeyUsage=codeSigning -keyout "$scratch/key.pem" -out "$scratch/cert.pem" \
  >"$scratch/openssl.log" 2>&1 || { fail "throwaway certificate"; cat "$scratch/openssl.log"; finish; }
"$packer" sign --cert "$scratch/cert.pem" --key "$scratch/key.pem" "$UPDATER" "$signed" \
  >"$scratch/sign.log" 2>&1 || { fail "pack sign"; cat "$scratch/sign.log"; finish; }
verify() { osslsigncode verify -CAfile "$scratch/cert.pem" -in "$1" >"$scratch/verify.log" 2>&1; }
verify "$signed" && echo "ok: the signature verifies" || { fail "the signature does not verify"; cat "$scratch/verify.log"; }
"$packer" list "$signed" | grep -q '^signed: certificate table' || fail "pack list sees no certificate table"
"$packer" check "$signed" PEXE PDLL RTP3 RTP2 RTP1 || fail "pack check of the signed updater"

# One byte in the middle of the last block's payload changed.
read -r _ offset length < <("$packer" list "$signed" | head -1)
cp "$signed" "$scratch/altered.exe"
python3 - "$scratch/altered.exe" $((offset + 4 + length / 2)) <<'PY'
import sys
with open(sys.argv[1], 'r+b') as f:
    f.seek(int(sys.argv[2])); b = f.read(1); f.seek(int(sys.argv[2])); f.write(bytes([b[0] ^ 0x5a]))
PY
verify "$scratch/altered.exe" && fail "a signed file with an altered payload verifies"

UPDATER=$signed
install_sample "$OLD_INSTALL" "$OLD_SHARED" || finish
run_update
expect_eq "success message" \
  "The Kestrin installation in folder \"$NEW_INSTALL\" has been updated to Dovetra 5.0.3." "$(message)"
quit_updater
expect_extracted_gone
same_tree "new install folder is 5.0.3" "$SAMPLE/final/install" "$(win_path "$NEW_INSTALL")" '^\./RTP[123]\.err$'
same_tree "shared folder renamed" "$SAMPLE/final/shared" "$(win_path "$OLD_SHARED")"
finish
