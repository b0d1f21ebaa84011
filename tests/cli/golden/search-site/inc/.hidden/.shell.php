<?php /* evilstats.example */ ?>
