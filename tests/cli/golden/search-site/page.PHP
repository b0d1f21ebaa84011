<?php echo 'evilstats.example'; ?>
