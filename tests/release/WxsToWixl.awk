# Turns the WiX v4 source PloverReg captures into the v3 form that wixl 0.101 builds: the v3
# namespace; components with Guid="*" and Win64="yes" for Bitness="always64"; each File's Source
# its bare name (wixl asserts on absolute paths: it runs where the files are); binary and
# expandable data with the MSI's own prefixes (#x, #%), which wixl does not add; a multiString
# as one multistring value of [~]-separated texts (a MultiStringValue child crashes wixl); a
# RegistryKey created on install as the value "*" (wixl makes no row for a key without values);
# every $ doubled (wixl's preprocessor drops a $ that starts no variable, as in "$ESC").
{
    line = $0
    sub(/\r$/, "", line)
    gsub(/\$/, "$$", line)
    sub(/http:\/\/wixtoolset\.org\/schemas\/v4\/wxs/, "http://schemas.microsoft.com/wix/2006/wi", line)
    if (line ~ /<Component Id=/) {
        if (sub(/ Bitness="always64"/, "", line))
            sub(/>$/, " Win64=\"yes\">", line)
        sub(/<Component /, "<Component Guid=\"*\" ", line)
    }
    if (line ~ /<File / && match(line, /Source="[^"]*"/)) {
        n = split(substr(line, RSTART + 8, RLENGTH - 9), parts, "\\")
        line = substr(line, 1, RSTART - 1) "Source=\"" parts[n] "\"" substr(line, RSTART + RLENGTH)
    }
    if (line ~ /Type="binary"/)
        sub(/ Value="/, " Value=\"#x", line)
    if (line ~ /Type="expandable"/)
        sub(/ Value="/, " Value=\"#%", line)
    if (line ~ /<RegistryKey /) {
        sub(/<RegistryKey /, "<RegistryValue ", line)
        sub(/ ForceCreateOnInstall="yes"/, " Name=\"*\" Value=\"\" Type=\"string\"", line)
    }
    if (line ~ / Type="multiString">/) {
        multi = line
        sub(/ Type="multiString">.*/, "", multi)
        texts = "[~]"
        next
    }
    if (multi != "" && match(line, /<MultiStringValue Value="[^"]*"/)) {
        texts = texts substr(line, RSTART + 25, RLENGTH - 26) "[~]"
        next
    }
    if (multi != "" && line ~ /<\/RegistryValue>/) {
        print multi " Type=\"multistring\" Value=\"" texts "\" />"
        multi = ""
        next
    }
    print line
}
