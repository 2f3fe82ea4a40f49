# Prints the keys and record numbers of one index (tag) in stored order, read
# with XBase::Index, a reader of the xBase index formats that is not ours.
# Usage: perl index_keys.pl FILE [TAG [TYPE]]; exits 2 when the module is missing.
use strict;
BEGIN { eval { require XBase::Index; 1 } or exit 2; }
my ($file, $tag, $type) = @ARGV;
my %options;
$options{'tag'} = $tag if defined $tag && $tag ne '';
$options{'type'} = $type if defined $type && $type ne '';
my $index = XBase::Index->new($file, %options) or die XBase::Index->errstr;
$index->prepare_select;
while (my ($key, $record) = $index->fetch) {
    $key =~ s/\s+$//;
    print "$key|$record\n";
}
